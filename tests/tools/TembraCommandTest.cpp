#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " " + arguments;
}

TEST(TembraCommand, ListShowsTheLogLineAndTheClassesWithTheirPorts) {
    const CommandResult r = runCommand(tembra("list"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("TembraPatchLoader::registerNodesWithManager()"), std::string::npos) << r.err;
    const size_t file = r.out.find("TembraStringWithFile  (execution mode 2 provider");
    const size_t url = r.out.find("TembraStringWithURL  (execution mode 2 provider");
    ASSERT_NE(file, std::string::npos) << r.out;
    ASSERT_NE(url, std::string::npos) << r.out;
    EXPECT_LT(file, url);
    EXPECT_NE(r.out.find("    in  inputFilePath : string = \"\""), std::string::npos) << r.out;
}

TEST(TembraCommand, WatchPrintsTheFileTextOnce) {
    TempDir dir;
    const std::string text = dir.write("words.txt", "two\nlines");
    const std::string doc = dir.write("doc.json", R"({"patches": [{"id": "t", "class": "TembraStringWithFile",
        "inputs": {"inputFilePath": ")" + text + R"("}}]})");
    const CommandResult r = runCommand(
        tembra("--log none run --watch t.outputFileContent --watch t.outputFileContent " + doc + " --frames 3"));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string line = "frame 0 t=0.000 t.outputFileContent = \"two\\nlines\"\n";
    EXPECT_EQ(r.out, line + line);  // one line per watch, each printed once
}

TEST(TembraCommand, WatchPrintsAStringWhenItsTextChangesAndAnImageWhenANewOneIsSet) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", R"({"patches": [{"id": "info", "class": "TembraDocumentInfo"},
        {"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 4, "inputPixelsHigh": 4}}]})");
    // The document info sets its outputs anew on every frame, with the same text.
    const CommandResult r = runCommand(
        tembra("--log none run " + doc + " --frames 3 --watch info.outputDocumentDisplayName --watch fire.outputImageHeat"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "frame 0 t=0.000 info.outputDocumentDisplayName = \"doc\"\n"
              "frame 0 t=0.000 fire.outputImageHeat = image 4x4\n"
              "frame 1 t=0.017 fire.outputImageHeat = image 4x4\n"
              "frame 2 t=0.033 fire.outputImageHeat = image 4x4\n");
}

TEST(TembraCommand, ADurationOfWholeFramesRunsExactlyThatMany) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", R"({"patches": [
        {"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 2, "inputPixelsHigh": 2}}]})");
    // Each frame sets a new image, so each frame prints one line.
    for (const auto& [arguments, frames] : std::vector<std::pair<std::string, long>>{
             {"--duration 0.07 --fps 100", 7}, {"--duration 0.14 --fps 50", 7}, {"--duration 0.55 --fps 100", 55},
             {"--duration 0.071 --fps 100", 8}}) {
        const CommandResult r = runCommand(tembra("--log none run " + doc + " --watch fire.outputImageHeat " + arguments));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), frames) << arguments;
    }
}

TEST(TembraCommand, SetReplacesAnInputBeforeTheRun) {
    TempDir dir;
    const std::string text = dir.write("other.txt", "set from the command line");
    const std::string doc = dir.write("doc.json", R"({"patches": [{"id": "t", "class": "TembraStringWithFile"}]})");
    const CommandResult r = runCommand(
        tembra("--log none run " + doc + " --set t.inputFilePath=" + text + " --watch t.outputFileContent"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "frame 0 t=0.000 t.outputFileContent = \"set from the command line\"\n");
}

TEST(TembraCommand, EachBadDocumentGetsOneLineAndStatusOne) {
    TempDir dir;
    const std::string reader = R"({"id": "a", "class": "TembraStringWithFile"})";
    const std::string other = R"({"id": "b", "class": "TembraStringWithFile"})";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\n  \"patches\": [\n    {\"id\": \"a\" \"class\": \"X\"}\n  ]\n}", "doc.json:3: malformed JSON"},
        {"{\"patches\": [\n{\"id\": \"a\", \"class\": \"NoSuchPatch\"}]}",
         "doc.json:2: unknown patch class \"NoSuchPatch\" for patch \"a\""},
        {"{\"patches\": [{\"id\": \"a\", \"class\": \"TembraStringWithFile\",\n\"inputs\": {\"inputNope\": \"x\"}}]}",
         "doc.json:2: patch \"a\" (TembraStringWithFile) has no port \"inputNope\""},
        {"{\"patches\": [" + reader + ", " + other + "],\n\"connections\": [{\"from\": \"a.outputFileContent\", "
         "\"to\": \"b.outputFileContent\"}]}",
         "doc.json:2: connection from \"a.outputFileContent\" to \"b.outputFileContent\" connects an output to an "
         "output"},
        {"{\"patches\": [{\"id\": \"a\", \"class\": \"TembraStringWithFile\", \"inputs\": {\"inputFilePath\": 7}}]}",
         "doc.json:1: patch \"a\": port inputFilePath takes a string value, not 7"},
        {"{\"patches\": [" + reader + ",\n" + other + "],\n\"connections\": [\n"
         "{\"from\": \"a.outputFileContent\", \"to\": \"b.inputFilePath\"},\n"
         "{\"from\": \"b.outputFileContent\", \"to\": \"a.inputFilePath\"}]}",
         "doc.json:1: connections form a cycle through patch \"a\""},
        {"{\"patches\": [" + reader + ",\n" + reader + "]}", "doc.json:2: duplicate patch id \"a\""},
    };
    for (const auto& [json, message] : cases) {
        const std::string doc = dir.write("doc.json", json);
        const CommandResult r = runCommand(tembra("--log none run " + doc));
        EXPECT_EQ(r.status, 1) << json;
        EXPECT_EQ(r.err.rfind("tembra: " + dir.path().string() + "/" + message, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(TembraCommand, EachCommandLineMistakeGivesOneLineAndStatusTwo) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", R"({"patches": [{"id": "t", "class": "TembraStringWithFile"}]})");
    for (const std::string& arguments : std::vector<std::string>
         {"run", "run " + doc + " --set t.inputFilePath", "run " + doc + " --set t.inputMissing=1",
          "run " + doc + " --watch t.nothing", "run " + doc + " --save t.outputFileContent=x%d.png",
          "run " + doc + " --frames 2 --duration 1", "run " + doc + " --duration inf",
          "run " + doc + " --fps 1e-320 --frames 2", "run " + doc + " --fps nan", "frobnicate",
          "run " + doc + " --frames -1", "run " + doc + " --duration nan", "run " + doc + " --audio ''",
          "run " + doc + " --no-such-option"}) {
        const CommandResult r = runCommand(tembra("--log none " + arguments));
        EXPECT_EQ(r.status, 2) << arguments << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << arguments << "\n" << r.err;
        EXPECT_LT(r.err.size(), 200u) << arguments << "\n" << r.err;
    }
}

TEST(TembraCommand, ACompositionThatIsNotARegularFileIsRefusedAtOnce) {
    TempDir dir;
    const std::string fifo = (dir.path() / "doc.json").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        // Without the check the FIFO blocks and /dev/zero never ends: timeout gives 124.
        const CommandResult r = runCommand("timeout 20 " + tembra("--log none run " + path));
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.err.rfind("tembra: " + path + ": cannot read the composition: is a ", 0), 0u) << r.err;
    }
}

TEST(TembraCommand, AMissingBundleIsNamed) {
    const CommandResult r = runCommand(tembraProgram() + " --log none --bundle /no/such/libTembra.so list");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("tembra: cannot load bundle /no/such/libTembra.so", 0), 0u) << r.err;
}

}  // namespace

#include "host/CompositionDocument.h"

#include <gtest/gtest.h>

namespace {

std::string failure(const std::string& json) {
    try {
        CompositionDocument::parse(json, "doc.json");
    } catch (const CompositionError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(CompositionDocument, ReadsPatchesInputsConnectionsAndRenderSize) {
    const auto doc = CompositionDocument::parse(R"({
  "renderSize": [320, 200],
  "patches": [
    {"id": "reader", "class": "TembraStringWithFile", "inputs": {"inputFilePath": "a.txt"}},
    {"id": "show", "class": "Sink"}
  ],
  "connections": [{"from": "reader.outputFileContent", "to": "show.inputText"}]
})",
                                                "dir/doc.json");
    EXPECT_EQ(doc.directory, "dir");
    EXPECT_EQ(doc.renderWidth, 320);
    EXPECT_EQ(doc.renderHeight, 200);
    ASSERT_EQ(doc.patches.size(), 2u);
    EXPECT_EQ(doc.patches[0].id, "reader");
    EXPECT_EQ(doc.patches[0].line, 4);
    EXPECT_EQ(doc.patches[0].inputs["inputFilePath"], "a.txt");
    EXPECT_EQ(doc.patches[1].line, 5);
    ASSERT_EQ(doc.connections.size(), 1u);
    EXPECT_EQ(doc.connections[0].fromId, "reader");
    EXPECT_EQ(doc.connections[0].fromPort, "outputFileContent");
    EXPECT_EQ(doc.connections[0].toPort, "inputText");
    EXPECT_EQ(doc.connections[0].line, 7);
}

TEST(CompositionDocument, FaultsOfTheDocumentItselfNameFileAndLine) {
    EXPECT_EQ(failure("{\n  \"patches\": [\n    {\"id\": \"a\",}\n  ]\n}").rfind("doc.json:3: malformed JSON", 0), 0u)
        << failure("{\n  \"patches\": [\n    {\"id\": \"a\",}\n  ]\n}");
    EXPECT_EQ(failure("{\"patches\": [\n{\"id\": \"a\", \"class\": \"X\"},\n{\"id\": \"a\", \"class\": \"Y\"}]}"),
              "doc.json:3: duplicate patch id \"a\"");
    EXPECT_EQ(failure("[]"), "doc.json:1: a composition is a JSON object");
    EXPECT_EQ(failure("{}"), "doc.json:1: a composition needs a \"patches\" array");
    EXPECT_EQ(failure(R"({"patches": [{"id": "a", "class": "X"}], "connections": [{"from": "a", "to": "b.c"}]})"),
              "doc.json:1: connection source \"a\" is not of the form id.port");
    EXPECT_EQ(failure(R"({"renderSize": [0, 10], "patches": []})"),
              "doc.json:1: renderSize must be [width, height], each 1 to 16384");
}

TEST(CompositionDocument, ErrorsNameTheLineOfTheValueThatIsWrong) {
    // The second of two connections from the same output.
    EXPECT_EQ(failure("{\"patches\": [], \"connections\": [\n"
                      "  {\"from\": \"a.out\", \"to\": \"b.in\"},\n"
                      "  {\"from\": \"a.out\",\n   \"to\": \"c\"}]}"),
              "doc.json:4: connection target \"c\" is not of the form id.port");
    // A file cut short is wrong where it stops.
    const std::string truncated = failure("{\"patches\": [\n  {\"id\": \"a\",\n   \"class\": \"X\"\n\n");
    EXPECT_EQ(truncated.rfind("doc.json:3: malformed JSON", 0), 0u) << truncated;
    EXPECT_EQ(failure("{\"patches\": [\n{\"id\": \"a\", \"class\": \"X\",\n \"class\": \"Y\"}]}"),
              "doc.json:3: key \"class\" is given twice in one object");
}

TEST(CompositionDocument, UnknownKeysAreNamedWithTheNearestKnownKey) {
    const std::string patch = R"({"id": "a", "class": "X")";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"patches\": [],\n\"conections\": []}",
         "doc.json:2: unknown key \"conections\"; did you mean \"connections\"?"},
        {"{\"patches\": [" + patch + ",\n\"imputs\": {}}]}",
         "doc.json:2: unknown key \"imputs\"; did you mean \"inputs\"?"},
        {"{\"patches\": [], \"connections\": [{\"from\": \"a.b\", \"to\": \"c.d\",\n\"via\": 1}]}",
         "doc.json:2: unknown key \"via\"; did you mean \"to\"?"},
        {"{\"patches\": [" + patch + ", \"parameters\": {\"inputA\": {\"type\": 1,\n\"sise\": 1}}}]}",
         "doc.json:2: unknown key \"sise\"; did you mean \"size\"?"},
        {"{\"patches\": [], \"midiSources\": [{\"name\": \"K\", \"events\": [\n{\"tme\": 0, \"bytes\": [1]}]}]}",
         "doc.json:2: unknown key \"tme\"; did you mean \"time\"?"},
        {"{\"patches\": [], \"midiDestinations\": [{\"name\": \"T\",\n\"devise\": \"S\"}]}",
         "doc.json:2: unknown key \"devise\"; did you mean \"device\"?"},
        // Nothing known is near: no guess.
        {"{\"patches\": [],\n\"backgroundMusic\": 1}", "doc.json:2: unknown key \"backgroundMusic\""},
    };
    for (const auto& [json, message] : cases) EXPECT_EQ(failure(json), message) << json;
}

TEST(CompositionDocument, DeepNestingAndHugeTextsAreRefusedWithShortMessages) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(failure("{\"patches\": [],\n\"renderSize\": " + deep + "}"),
              "doc.json:2: values are nested deeper than 256 levels");
    EXPECT_EQ(failure(deep), "doc.json:1: values are nested deeper than 256 levels");
    // An unterminated string of a megabyte is not repeated in the message.
    EXPECT_LT(failure("{\"patches\": [\"" + std::string(1 << 20, 'x')).size(), 300u);
    EXPECT_EQ(failure(std::string(CompositionDocument::kMaxTextBytes + 1, ' ')),
              "doc.json: the composition is 16777217 bytes; a composition may have at most 16 MiB");
}

TEST(CompositionDocument, AMissingFileIsNamed) {
    try {
        CompositionDocument::load("/no/such/composition.json");
        FAIL();
    } catch (const CompositionError& e) {
        EXPECT_EQ(std::string(e.what()), "/no/such/composition.json: cannot read the composition: No such file or directory");
    }
}

}  // namespace

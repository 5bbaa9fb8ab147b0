#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " " + arguments;
}

// What an editor builds its palette from: every class of both bundles, each
// with a description, every port described, ranges and path kinds where
// they apply.
TEST(ClassSchema, ListJSONHasEveryClassAndPortDescribed) {
    const CommandResult r = runCommand(tembra("--log none list --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto schema = nlohmann::json::parse(r.out);
    std::set<std::string> classes;
    std::map<std::string, nlohmann::json> ports;  // "Class.port" -> port
    for (const auto& bundle : schema.at("bundles"))
        for (const auto& c : bundle.at("classes")) {
            classes.insert(c.at("name").get<std::string>());
            EXPECT_EQ(c.at("bundle"), bundle.at("name"));
            EXPECT_FALSE(c.at("description").get<std::string>().empty()) << c.at("name");
            EXPECT_TRUE(c.at("executionMode").is_number_integer());
            EXPECT_TRUE(c.at("timeMode").is_number_integer());
            EXPECT_TRUE(c.at("allowsSubpatches").is_boolean());
            ASSERT_FALSE(c.at("ports").empty()) << c.at("name");
            for (const auto& p : c.at("ports")) {
                const std::string name = c.at("name").get<std::string>() + "." + p.at("name").get<std::string>();
                EXPECT_FALSE(p.at("description").get<std::string>().empty()) << name;
                ports[name] = p;
            }
        }
    for (const char* name : {"TembraMIDIInputCC", "TembraFire", "GLTest", "FreeFrame", "Clear", "Billboard", "ImageFile",
                             "Expression", "LFO", "Tempo"})
        EXPECT_TRUE(classes.count(name)) << name;

    const auto& cool = ports.at("TembraFire.inputCoolRate");
    EXPECT_EQ(cool.at("direction"), "input");
    EXPECT_EQ(cool.at("kind"), "number");
    EXPECT_DOUBLE_EQ(cool.at("default").get<double>(), 0.99);
    EXPECT_DOUBLE_EQ(cool.at("range").at("min").get<double>(), 0.9);
    EXPECT_DOUBLE_EQ(cool.at("range").at("max").get<double>(), 1.0);
    const auto& knob = ports.at("TembraMIDIInputCC.outputValue");
    EXPECT_EQ(knob.at("direction"), "output");
    EXPECT_EQ(knob.at("kind"), "index");
    EXPECT_EQ(ports.at("TembraMIDIInputCC.inputChannel").at("max"), 16);
    EXPECT_EQ(ports.at("TembraImageWithSoundFile.inputSoundFilePath").at("path"), "file");
    EXPECT_EQ(ports.at("TembraStringWithURL.inputURL").at("path"), "url");
    EXPECT_TRUE(ports.at("TembraFire.outputImageVisible").at("path").is_null());
}

TEST(ClassSchema, ListShowsDescriptionsRangesAndPathKinds) {
    const CommandResult r = runCommand(tembra("--log none list"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("inputCoolRate : number = 0.99 [0.9 .. 1]  factor"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("inputSoundFilePath : string = \"\" (file)  path"), std::string::npos) << r.out;
}

}  // namespace

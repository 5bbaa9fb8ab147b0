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

TEST(CompositionDocument, AMissingFileIsNamed) {
    try {
        CompositionDocument::load("/no/such/composition.json");
        FAIL();
    } catch (const CompositionError& e) {
        EXPECT_EQ(std::string(e.what()), "/no/such/composition.json: cannot open composition file");
    }
}

}  // namespace

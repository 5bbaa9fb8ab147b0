#include "host/PortShadow.h"
#include "host/PortValues.h"
#include "host/QCGLCGImage.h"
#include "host/QCPatch.h"
#include "platform/graphics/PNGFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct PortsPatch : QCPatch {
    using QCPatch::QCPatch;
    bool execute(QCOpenGLContext*, double, const QCArguments*) override { return true; }
    QCStringPort inputText{this, "inputText"};
    QCIndexPort inputIndex{this, "inputIndex"};
    QCNumberPort inputNumber{this, "inputNumber"};
    QCBooleanPort inputFlag{this, "inputFlag"};
    QCGLImagePort inputImage{this, "inputImage"};
    QCStringPort outputText{this, "outputText"};
};

TEST(QCPort, PortsRegisterInDeclarationOrderAndAreFoundByName) {
    PortsPatch patch("p");
    std::vector<std::string> names;
    for (const QCPort* port : patch.ports()) names.push_back(port->name());
    EXPECT_EQ(names, (std::vector<std::string>{"inputText", "inputIndex", "inputNumber", "inputFlag", "inputImage",
                                               "outputText"}));
    EXPECT_EQ(patch.portNamed("inputFlag"), &patch.inputFlag);
    EXPECT_EQ(patch.portNamed("nothing"), nullptr);
    EXPECT_TRUE(patch.inputText.isInput());
    EXPECT_FALSE(patch.outputText.isInput());
}

TEST(QCPort, StringPortHandsOutTheSameObjectUntilSetAnew) {
    PortsPatch patch("p");
    const StringRef first = patch.inputText.stringValue();
    EXPECT_EQ(patch.inputText.stringValue(), first);

    const StringRef hello = newString("hello");
    patch.inputText.setStringValue(hello);
    EXPECT_EQ(patch.inputText.stringValue(), hello);
    const uint64_t generation = patch.inputText.generation();

    // Equal text as a new object is a different value and a change.
    patch.inputText.setStringValue(newString("hello"));
    EXPECT_NE(patch.inputText.stringValue(), hello);
    EXPECT_EQ(*patch.inputText.stringValue(), "hello");
    EXPECT_GT(patch.inputText.generation(), generation);

    patch.inputText.setStringValue(nullptr);
    EXPECT_EQ(patch.inputText.stringValue(), nullptr);
    EXPECT_EQ(describePortValue(patch.inputText), "null");
}

TEST(QCPort, WritingTheValueAPortHoldsIsNoChange) {
    PortsPatch patch("p");
    patch.inputIndex.setIndexValue(3);
    patch.inputNumber.setDoubleValue(std::nan(""));
    patch.inputFlag.setBooleanValue(true);
    const StringRef text = newString("a");
    patch.inputText.setStringValue(text);
    std::vector<uint64_t> before;
    for (const QCPort* port : patch.ports()) before.push_back(port->generation());
    patch.inputIndex.setIndexValue(3);
    patch.inputNumber.setDoubleValue(std::nan(""));  // NaN held still, though it equals nothing
    patch.inputFlag.setBooleanValue(true);
    patch.inputText.setStringValue(text);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(patch.ports()[i]->generation(), before[i]) << i;
    patch.inputNumber.setDoubleValue(0.5);
    EXPECT_GT(patch.inputNumber.generation(), before[2]);
}

TEST(QCPort, ImagePortAcceptsNullAndKeepsIdentity) {
    PortsPatch patch("p");
    EXPECT_EQ(patch.inputImage.imageValue(), nullptr);
    auto context = CGBitmapContextCreate(nullptr, 2, 1, 8, 8, CGColorSpaceCreateDeviceRGB(),
                                         kCGImageAlphaPremultipliedLast);
    auto image = std::make_shared<const QCGLCGImage>(CGBitmapContextCreateImage(context.get()), nullptr);
    patch.inputImage.setImageValue(image);
    EXPECT_EQ(patch.inputImage.imageValue(), image);
    EXPECT_EQ(describePortValue(patch.inputImage), "image 2x1");
    patch.inputImage.setImageValue(nullptr);
    EXPECT_EQ(patch.inputImage.imageValue(), nullptr);
}

TEST(QCPort, IndexValuesFromOutsideAreClampedButAPatchWriteIsStoredAsGiven) {
    PortsPatch patch("p");
    patch.inputIndex.setMaxIndexValue(16);
    patch.inputIndex.setIndexValue(40);  // the patch's own write
    EXPECT_EQ(patch.inputIndex.indexValue(), 40u);

    setPortFromJSON(patch.inputIndex, 99, "");
    EXPECT_EQ(patch.inputIndex.indexValue(), 16u);
    setPortFromJSON(patch.inputIndex, -5, "");
    EXPECT_EQ(patch.inputIndex.indexValue(), 0u);
    setPortFromText(patch.inputIndex, "12", "");
    EXPECT_EQ(patch.inputIndex.indexValue(), 12u);
    EXPECT_THROW(setPortFromText(patch.inputIndex, "1.5", ""), PortValueError);
    EXPECT_THROW(setPortFromJSON(patch.inputIndex, "3", ""), PortValueError);
}

TEST(QCPort, ValuesOfTheWrongTypeAreRefusedWithThePortName) {
    PortsPatch patch("p");
    try {
        setPortFromJSON(patch.inputNumber, "fast", "");
        FAIL() << "a string was accepted by a number port";
    } catch (const PortValueError& e) {
        EXPECT_NE(std::string(e.what()).find("inputNumber"), std::string::npos) << e.what();
    }
    EXPECT_THROW(setPortFromJSON(patch.inputFlag, 1, ""), PortValueError);
    EXPECT_THROW(setPortFromText(patch.inputFlag, "maybe", ""), PortValueError);
    EXPECT_THROW(setPortFromJSON(patch.inputText, 3, ""), PortValueError);
    EXPECT_THROW(setPortFromJSON(patch.inputImage, "/no/such/picture.png", ""), PortValueError);
}

TEST(QCPort, ImageInputTakesAPNGPathRelativeToTheDocument) {
    TempDir dir;
    auto context = CGBitmapContextCreate(nullptr, 3, 2, 8, 12, CGColorSpaceCreateDeviceRGB(),
                                         kCGImageAlphaPremultipliedLast);
    context->data[0] = 200;  // top-left red, opaque: kept exactly through the file
    context->data[3] = 255;
    context->data[12 + 11] = 77;  // bottom-right alpha
    auto written = CGBitmapContextCreateImage(context.get());
    std::string error;
    ASSERT_TRUE(CGImageWriteToPNGFile(*written, (dir.path() / "pic.png").string(), &error)) << error;

    PortsPatch patch("p");
    setPortFromJSON(patch.inputImage, "pic.png", dir.path().string());
    const ImageRef& image = patch.inputImage.imageValue();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelsWide(), 3u);
    EXPECT_EQ(image->pixelsHigh(), 2u);
    EXPECT_EQ(image->CGImage()->pixels.data()[0], 200);
    EXPECT_EQ(image->CGImage()->pixels.data()[12 + 11], 77);
}

TEST(QCPort, ConnectionsConvertBetweenScalarKindsAndPassObjectsThemselves) {
    PortsPatch a("a"), b("b");
    a.inputText.setStringValue(newString("3.75"));
    transferValue(a.inputText, b.inputNumber);
    EXPECT_DOUBLE_EQ(b.inputNumber.doubleValue(), 3.75);
    transferValue(b.inputNumber, b.inputIndex);
    EXPECT_EQ(b.inputIndex.indexValue(), 3u);
    transferValue(b.inputIndex, b.inputFlag);
    EXPECT_TRUE(b.inputFlag.booleanValue());
    transferValue(b.inputFlag, b.inputText);
    EXPECT_EQ(*b.inputText.stringValue(), "true");

    transferValue(a.inputText, b.outputText);
    EXPECT_EQ(b.outputText.stringValue(), a.inputText.stringValue());

    EXPECT_TRUE(canConnect(QCPortKind::Number, QCPortKind::String));
    EXPECT_FALSE(canConnect(QCPortKind::Image, QCPortKind::String));
    EXPECT_FALSE(canConnect(QCPortKind::Number, QCPortKind::Image));
}

struct ColourPatch : QCPatch {
    using QCPatch::QCPatch;
    bool execute(QCOpenGLContext*, double, const QCArguments*) override { return true; }
    QCColorPort inputColor{this, "inputColor"};
    QCNumberPort inputNumber{this, "inputNumber"};
};

TEST(QCPort, AColourPortChangesOnlyForADifferentColourAndConnectsThroughNumbers) {
    ColourPatch a("a"), b("b");
    a.inputColor.setColorValue({0.5, 0.25, 1, 0.5});
    const uint64_t generation = a.inputColor.generation();
    a.inputColor.setColorValue({0.5, 0.25, 1, 0.5});
    EXPECT_EQ(a.inputColor.generation(), generation);
    a.inputColor.setColorValue({0.5, 0.25, 1, std::nan("")});
    EXPECT_EQ(describePortValue(a.inputColor), "[0.5, 0.25, 1, 0]");
    EXPECT_GT(a.inputColor.generation(), generation);

    // The stand-in a reload checks against holds the same colour.
    const PortShadow shadow(a);
    EXPECT_EQ(describePortValue(*shadow.portNamed("inputColor")), "[0.5, 0.25, 1, 0]");

    transferValue(a.inputColor, b.inputColor);
    EXPECT_EQ(b.inputColor.colorValue(), a.inputColor.colorValue());
    transferValue(a.inputColor, b.inputNumber);
    EXPECT_DOUBLE_EQ(b.inputNumber.doubleValue(), 0.2126 * 0.5 + 0.7152 * 0.25 + 0.0722);
    b.inputNumber.setDoubleValue(0.75);
    transferValue(b.inputNumber, b.inputColor);
    EXPECT_EQ(b.inputColor.colorValue(), (QCColor{0.75, 0.75, 0.75, 1}));

    EXPECT_TRUE(canConnect(QCPortKind::Boolean, QCPortKind::RGBA));
    EXPECT_FALSE(canConnect(QCPortKind::String, QCPortKind::RGBA));
    EXPECT_FALSE(canConnect(QCPortKind::RGBA, QCPortKind::Index));
    EXPECT_FALSE(canConnect(QCPortKind::RGBA, QCPortKind::Image));
    // The OpenGL colour setting is another kind, named apart.
    EXPECT_FALSE(canConnect(QCPortKind::RGBA, QCPortKind::Color));
    EXPECT_STREQ(portKindName(QCPortKind::RGBA), "rgba");
}

}  // namespace

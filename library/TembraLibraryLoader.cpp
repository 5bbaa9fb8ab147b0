#include "TembraLibraryLoader.h"

#include "audio/AudioAnalysis.h"
#include "control/Color.h"
#include "control/Counter.h"
#include "control/Expression.h"
#include "control/LFO.h"
#include "control/SelectImage.h"
#include "control/SelectNumber.h"
#include "control/SelectString.h"
#include "control/Smooth.h"
#include "control/Tempo.h"
#include "control/Toggle.h"
#include "host/PlugInBundle.h"
#include "image/Billboard.h"
#include "image/Clear.h"
#include "image/ImageFile.h"
#include "image/Shader.h"
#include "image/ShaderLibrary.h"
#include "image/Text.h"
#include "library/input/Keyboard.h"
#include "library/input/Mouse.h"
#include "library/input/OSCReceive.h"
#include "library/input/OSCSend.h"
#include "library/media/Camera.h"
#include "library/media/MovieFile.h"

void TembraLibraryLoader::registerNodesWithManager(QCNodeManager& manager) {
    manager.registerNodeWithClass(patchClass<Clear>());
    manager.registerNodeWithClass(patchClass<Billboard>());
    manager.registerNodeWithClass(patchClass<ImageFile>());
    manager.registerNodeWithClass(patchClass<Text>());
    manager.registerNodeWithClass(patchClass<Shader>());
    ShaderLibrary::registerNodesWithManager(manager);
    manager.registerNodeWithClass(patchClass<Expression>());
    manager.registerNodeWithClass(patchClass<LFO>());
    manager.registerNodeWithClass(patchClass<Smooth>());
    manager.registerNodeWithClass(patchClass<Counter>());
    manager.registerNodeWithClass(patchClass<Toggle>());
    manager.registerNodeWithClass(patchClass<Color>());
    manager.registerNodeWithClass(patchClass<SelectNumber>());
    manager.registerNodeWithClass(patchClass<SelectString>());
    manager.registerNodeWithClass(patchClass<SelectImage>());
    manager.registerNodeWithClass(patchClass<Tempo>());
    manager.registerNodeWithClass(patchClass<Keyboard>());
    manager.registerNodeWithClass(patchClass<Mouse>());
    manager.registerNodeWithClass(patchClass<OSCReceive>());
    manager.registerNodeWithClass(patchClass<OSCSend>());
    manager.registerNodeWithClass(patchClass<AudioAnalysis>());
    manager.registerNodeWithClass(patchClass<MovieFile>());
    manager.registerNodeWithClass(patchClass<Camera>());
}

TEMBRA_BUNDLE(TembraLibraryLoader::registerNodesWithManager)

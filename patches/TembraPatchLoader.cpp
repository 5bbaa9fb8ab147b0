#include "TembraPatchLoader.h"

#include "fire/TembraFire.h"
#include "freeframe/FreeFrame.h"
#include "gl/GLTest.h"
#include "host/PlugInBundle.h"
#include "gl/TembraImageWithComposition.h"
#include "midi/TembraMIDIClock.h"
#include "midi/TembraMIDIInputCC.h"
#include "midi/TembraMIDIInputNote.h"
#include "midi/TembraMIDIOutputCC.h"
#include "midi/TembraMIDIOutputNote.h"
#include "platform/foundation/NSLog.h"
#include "sound/TembraImageWithSoundFile.h"
#include "sound/TembraSoundWithImage.h"
#include "text/TembraDocumentInfo.h"
#include "text/TembraFileType.h"
#include "text/TembraStringWithFile.h"
#include "text/TembraStringWithURL.h"

void TembraPatchLoader::registerNodesWithManager(QCNodeManager& manager) {
    NSLog("TembraPatchLoader::registerNodesWithManager()");
    manager.registerNodeWithClass(patchClass<TembraMIDIInputCC>());
    manager.registerNodeWithClass(patchClass<TembraMIDIInputNote>());
    manager.registerNodeWithClass(patchClass<TembraMIDIOutputCC>());
    manager.registerNodeWithClass(patchClass<TembraMIDIOutputNote>());
    manager.registerNodeWithClass(patchClass<TembraMIDIClock>());
    manager.registerNodeWithClass(patchClass<TembraStringWithFile>());
    manager.registerNodeWithClass(patchClass<TembraStringWithURL>());
    manager.registerNodeWithClass(patchClass<TembraDocumentInfo>());
    manager.registerNodeWithClass(patchClass<TembraFileType>());
    manager.registerNodeWithClass(patchClass<TembraImageWithComposition>());
    manager.registerNodeWithClass(patchClass<TembraImageWithSoundFile>());
    manager.registerNodeWithClass(patchClass<TembraSoundWithImage>());
    manager.registerNodeWithClass(patchClass<FreeFrame>());
    manager.registerNodeWithClass(patchClass<TembraFire>());
    manager.registerNodeWithClass(patchClass<GLTest>());
}

TEMBRA_BUNDLE(TembraPatchLoader::registerNodesWithManager)

# The SDK for bundle authors: the headers a patch includes (the patch
# contract, ports, values, images, the node manager, the bundle entry, and
# the platform calls a patch may make), installed as include/tembra/host/...
# and include/tembra/platform/..., so a bundle's includes read as ours do;
# and tembra.pc.
#
# A bundle links the host's shared libraries (lib/tembra/libtembra_*.so);
# when tembra loads it, the dynamic loader finds them already loaded by
# their names, so a bundle needs no run path of its own.
file(GLOB tembra_sdk_host_headers ${PROJECT_SOURCE_DIR}/host/*.h)
set(tembra_sdk_headers
    platform/foundation/ContentSniffer.h platform/foundation/LaunchServices.h platform/foundation/NSDate.h
    platform/foundation/NSDocument.h platform/foundation/NSDocumentController.h platform/foundation/NSLog.h
    platform/foundation/NSString.h platform/foundation/NSURL.h platform/foundation/RegularFile.h
    platform/foundation/UTF8.h platform/foundation/UTType.h platform/foundation/UTTypeTable.h
    platform/graphics/CoreGraphics.h platform/graphics/NSImage.h platform/graphics/PageAlignedBuffer.h
    platform/graphics/PNGFile.h
    platform/gl/CGL.h platform/gl/NSOpenGLContext.h platform/gl/NSOpenGLPixelBuffer.h
    platform/gl/NSOpenGLPixelFormat.h
    platform/midi/CoreMIDI.h
    platform/text/TextRenderer.h
    platform/audio/CoreAudio.h platform/audio/AudioDevice.h
    platform/media/HugePages.h platform/media/MovieToolbox.h platform/media/MovieAudioExtraction.h
)
install(FILES ${tembra_sdk_host_headers} DESTINATION ${TEMBRA_INSTALL_INCLUDEDIR}/host)
foreach(header ${tembra_sdk_headers})
    get_filename_component(dir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${TEMBRA_INSTALL_INCLUDEDIR}/${dir})
endforeach()

# The libraries behind those headers.
set(TEMBRA_PC_LIBS "")
foreach(library tembra_host tembra_foundation tembra_graphics tembra_gl tembra_midi tembra_audio tembra_media tembra_text)
    string(APPEND TEMBRA_PC_LIBS " -l${library}")
endforeach()
string(STRIP "${TEMBRA_PC_LIBS}" TEMBRA_PC_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tembra.pc.in ${PROJECT_BINARY_DIR}/tembra.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tembra.pc DESTINATION lib/pkgconfig)

# Lays Tembra out under the install prefix:
#   bin/tembra, bin/tembra-contact-sheet
#   lib/tembra/            the host and platform libraries the program and bundles share
#   lib/tembra/bundles/    the patch bundles
#   lib/pkgconfig/tembra.pc, include/tembra/   the SDK for bundle authors
#   share/tembra/          editor pages, library shaders
#   share/doc/tembra/examples/, share/man/man1/tembra.1.gz
# Everything finds everything else relative to its own location ($ORIGIN), so
# the same tree works under /usr, /usr/local or ~/.local. The folders are
# fixed ("lib", not a multiarch libdir): the program looks for its bundles at
# ../lib/tembra/bundles.
set(TEMBRA_INSTALL_LIBDIR lib/tembra)
set(TEMBRA_INSTALL_BUNDLEDIR lib/tembra/bundles)
set(TEMBRA_INSTALL_DATADIR share/tembra)
set(TEMBRA_INSTALL_INCLUDEDIR include/tembra)

# Collects the targets of `dir` and the folders below it.
function(tembra_collect_targets dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub ${subdirs})
        tembra_collect_targets(${sub} more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Shared libraries named tembra_* are the host's layers; shared libraries
# named Tembra* are bundles. Collected rather than listed, so a new layer or
# bundle is installed without touching this file.
set(tembra_host_libraries "")
set(tembra_bundles "")
foreach(dir host platform patches library tools)
    if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        tembra_collect_targets(${PROJECT_SOURCE_DIR}/${dir} found)
        foreach(target ${found})
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
                if(target MATCHES "^tembra_")
                    list(APPEND tembra_host_libraries ${target})
                elseif(target MATCHES "^Tembra")
                    list(APPEND tembra_bundles ${target})
                endif()
            endif()
        endforeach()
    endif()
endforeach()

set_target_properties(tembra contact-sheet PROPERTIES INSTALL_RPATH "$ORIGIN/../${TEMBRA_INSTALL_LIBDIR}")
set_target_properties(${tembra_host_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(${tembra_bundles} PROPERTIES INSTALL_RPATH "$ORIGIN/..")

# What the install needs built, and no more (not the tests or benchmarks):
# `cmake --build build --target tembra_installable`, then install or cpack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(tembra_installable)
add_dependencies(tembra_installable tembra contact-sheet ${tembra_host_libraries} ${tembra_bundles})

install(TARGETS tembra RUNTIME DESTINATION bin)
install(TARGETS contact-sheet RUNTIME DESTINATION bin)
install(TARGETS ${tembra_host_libraries} LIBRARY DESTINATION ${TEMBRA_INSTALL_LIBDIR})
install(TARGETS ${tembra_bundles} LIBRARY DESTINATION ${TEMBRA_INSTALL_BUNDLEDIR})

# The editor's page as the build assembles it (with its graph library).
if(TARGET editor_page)
    add_dependencies(tembra_installable editor_page)
    install(DIRECTORY ${PROJECT_BINARY_DIR}/share/tembra/editor/ DESTINATION ${TEMBRA_INSTALL_DATADIR}/editor)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/library/image/shaders/ DESTINATION ${TEMBRA_INSTALL_DATADIR}/shaders
    OPTIONAL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/doc/tembra/examples USE_SOURCE_PERMISSIONS)

# The manual page, compressed as Debian keeps them.
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/tembra.1.gz
    COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/tembra.1 > ${PROJECT_BINARY_DIR}/tembra.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/tembra.1 VERBATIM)
add_custom_target(tembra_man ALL DEPENDS ${PROJECT_BINARY_DIR}/tembra.1.gz)
add_dependencies(tembra_installable tembra_man)
install(FILES ${PROJECT_BINARY_DIR}/tembra.1.gz DESTINATION share/man/man1)
include(cmake/SDK.cmake)
include(cmake/Package.cmake)

# Installs the build into a scratch prefix and checks that the program, its desktop entry
# and its icon land where desktops look for them, and the user's guide where Help looks for
# it (ui/help_guide.cpp: ../share/doc/pixelcast/guide from the program's folder).
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<scratch prefix> -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result
    OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(file bin/pixelcast share/applications/pixelcast.desktop
             share/icons/hicolor/64x64/apps/pixelcast.png
             share/metainfo/io.github.pixelcast.Pixelcast.metainfo.xml
             share/doc/pixelcast/guide/index.html)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

file(STRINGS "${PREFIX}/share/applications/pixelcast.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Pixelcast" "Exec=pixelcast %f"
             "Icon=pixelcast")
    list(FIND entry "${line}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")

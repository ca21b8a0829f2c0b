# Installs the build into a fresh prefix and checks the layout a Linux user
# expects: the program folder, the link in bin, the desktop entry and icons.
#   cmake -DBINARY_DIR=<build> -DPREFIX=<empty folder> -P InstallLayout.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${out}\n${err}")
endif()

foreach(file IN ITEMS
    lib/tabulory/tabulory
    lib/tabulory/HAND-M.CUR
    share/applications/tabulory.desktop
    share/icons/hicolor/16x16/apps/tabulory.png
    share/icons/hicolor/48x48/apps/tabulory.png
    share/icons/hicolor/256x256/apps/tabulory.png)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

if(NOT IS_SYMLINK "${PREFIX}/bin/tabulory")
  message(FATAL_ERROR "bin/tabulory is not a link")
endif()
file(READ_SYMLINK "${PREFIX}/bin/tabulory" target)
if(NOT target STREQUAL "../lib/tabulory/tabulory")
  message(FATAL_ERROR "bin/tabulory points to '${target}'")
endif()
get_filename_component(resolved "${PREFIX}/bin/tabulory" REALPATH)
if(NOT resolved STREQUAL "${PREFIX}/lib/tabulory/tabulory")
  message(FATAL_ERROR "bin/tabulory resolves to '${resolved}'")
endif()

file(STRINGS "${PREFIX}/share/applications/tabulory.desktop" entry)
foreach(line IN ITEMS "[Desktop Entry]" "Type=Application" "Name=Tabulory" "Exec=tabulory" "Icon=tabulory")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")

# Fails when an include crosses a floor upwards: each folder of the engine may include only the
# folders listed for it below (its own and those beneath it), SDL only in the SDL back end and the
# program, GL only in the GL back end and the program, ImGui only in the editor and the program.
# A folder missing from the table fails too, so that a new folder gets its floor on purpose.
#
#   cmake -DROOT=<source tree> -P CheckLayers.cmake

# Lowest first. Keep in step with the README's layout table and the libraries' CMake files.
set(floor_math          math)
set(floor_engine/base   engine/base)
set(floor_render        render engine/base math)
set(floor_scene         scene engine/base math)
set(floor_scene/sync    scene/sync scene engine/base math)
set(floor_actors/entity actors/entity engine/base math)
set(floor_engine        engine actors/entity render scene engine/base math)
set(floor_actors        actors ${floor_engine})
set(floor_scene/loader  scene/loader ${floor_engine})
set(floor_engine/loop   engine/loop scene/loader actors ${floor_engine})
set(floor_render/gl     render/gl render engine/base math)
set(floor_platform      platform engine/base math)
set(floor_editor/model  editor/model ${floor_engine/loop})
set(floor_editor        editor editor/model render/gl platform ${floor_engine/loop})
set(floor_app           app editor editor/model render/gl platform tools scene/sync ${floor_engine/loop})
# The import tool stands beside the engine: it uses the file formats of render/, the picture
# helpers of tools/ and the tempo and track files of scene/, and no floor lists it, so nothing of
# the engine includes it.
set(floor_tools/import  tools/import tools render scene/sync scene engine/base math)
set(sdl_folders  platform editor app)
set(gl_folders   render/gl editor app)
set(gui_folders  editor app)
set(sdl_text "platform/, editor/ and app/")
set(gl_text  "render/gl/, editor/ and app/")
set(gui_text "editor/ and app/")
# The Windows implementations of the system interfaces: platform/, and app/'s own *Win.cpp files
# beside the interfaces they implement (the child process).
set(windows_text "Windows' own header belongs to platform/ and app/'s *Win.cpp files")

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers.cmake: pass -DROOT=<source tree>")
endif()
set(checked math engine render scene actors platform editor app tools/import)
set(sources "")
foreach(top ${checked})
  file(GLOB_RECURSE found RELATIVE ${ROOT} ${ROOT}/${top}/*.h ${ROOT}/${top}/*.hpp ${ROOT}/${top}/*.cpp)
  list(APPEND sources ${found})
endforeach()

set(breaches "")
foreach(file ${sources})
  get_filename_component(folder ${file} DIRECTORY)
  if(NOT DEFINED floor_${folder})
    list(APPEND breaches "${file}: the folder ${folder}/ has no floor in tests/layers/CheckLayers.cmake")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line ${includes})
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      get_filename_component(target ${CMAKE_MATCH_1} DIRECTORY)
      if(target STREQUAL "" OR target IN_LIST floor_${folder})
        continue()
      endif()
      list(JOIN floor_${folder} ", " allowed)
      list(APPEND breaches "${file} includes ${CMAKE_MATCH_1}: ${folder}/ may include only ${allowed}")
    elseif(line MATCHES "#[ \t]*include[ \t]*<(SDL[^>]*)>" AND NOT folder IN_LIST sdl_folders)
      list(APPEND breaches "${file} includes <${CMAKE_MATCH_1}>: SDL belongs to ${sdl_text}")
    elseif(line MATCHES "#[ \t]*include[ \t]*<((epoxy|GL)/[^>]*)>" AND NOT folder IN_LIST gl_folders)
      list(APPEND breaches "${file} includes <${CMAKE_MATCH_1}>: GL belongs to ${gl_text}")
    elseif(line MATCHES "#[ \t]*include[ \t]*<(imgui[^>]*)>" AND NOT folder IN_LIST gui_folders)
      list(APPEND breaches "${file} includes <${CMAKE_MATCH_1}>: ImGui belongs to ${gui_text}")
    elseif(line MATCHES "#[ \t]*include[ \t]*<([Ww]indows\\.h)>" AND NOT folder STREQUAL "platform"
           AND NOT file MATCHES "^app/[A-Za-z]+Win\\.cpp$")
      list(APPEND breaches "${file} includes <windows.h>: ${windows_text}")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(breaches)
  list(JOIN breaches "\n" text)
  message(FATAL_ERROR "Includes that cross a floor:\n${text}")
endif()
message(STATUS "layers: ${count} files, every include points down")

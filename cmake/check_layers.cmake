# Fails when a source file includes from a layer above its own. Run as a
# test: cmake -DSOURCE_DIR=<top> -P check_layers.cmake
#
#   core                      -> core
#   serial                    -> serial, core
#   protocol                  -> protocol, serial, core
#   ui                        -> ui, protocol, serial, core
#   <window folder>/core      -> its own core, protocol, serial, core
#   <window folder>/export    -> its own export and core, core
#   <window folder>/ui        -> its own ui, core and export, ui, protocol, core
#   journal/ui                -> also detection/export (the results window saves
#                                readings in the detection windows' workbooks)
#   shell                     -> everything
#   sim                       -> sim, protocol, serial, core
#   fuzz                      -> fuzz, <window folder>/core, protocol, serial, core
#   cli                       -> cli, protocol, serial, core, journal/core (the
#                                command-line tool builds without the windows'
#                                folders; it sends and lists the journal and
#                                makes verification records)
#   shell                     -> every folder above
#   app, bench, tests         -> everything
# A folder's core and export have no Qt; nothing but app, bench, tests and
# shell itself includes shell. The folders are those of
# cmake/window_folders.cmake: a top folder holding code that it does not
# list fails the check, so that no folder goes unchecked.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/window_folders.cmake)
set(window_folders ${BENCH_WINDOW_FOLDERS})
set(known_folders ${BENCH_WINDOW_FOLDERS} ${BENCH_OTHER_CODE_FOLDERS})
set(problems "")

# Every top folder but the hidden ones and the build folders.
file(GLOB tops RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(sources "")
foreach(top ${tops})
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${top} OR top MATCHES "^(\\.|build)")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${top}/*.h ${SOURCE_DIR}/${top}/*.hpp
    ${SOURCE_DIR}/${top}/*.c ${SOURCE_DIR}/${top}/*.cc ${SOURCE_DIR}/${top}/*.cpp)
  if(found AND NOT top IN_LIST known_folders)
    list(APPEND problems "${top}/: holds code but is not in cmake/window_folders.cmake")
  endif()
  list(APPEND sources ${found})
endforeach()

foreach(src ${sources})
  string(REPLACE "/" ";" pieces ${src})
  list(GET pieces 0 top)
  list(LENGTH pieces depth)
  set(part "")
  if(depth GREATER 2)
    list(GET pieces 1 part)
  endif()
  if(top STREQUAL "core")
    set(allowed core)
  elseif(top STREQUAL "serial")
    set(allowed serial core)
  elseif(top STREQUAL "protocol")
    set(allowed protocol serial core)
  elseif(top STREQUAL "ui")
    set(allowed ui protocol serial core)
  elseif(top STREQUAL "sim")
    set(allowed sim protocol serial core)
  elseif(top STREQUAL "fuzz")
    set(allowed fuzz protocol serial core)
    foreach(folder ${window_folders})
      list(APPEND allowed ${folder}/core)
    endforeach()
  elseif(top STREQUAL "cli")
    set(allowed cli protocol serial core journal/core)
  elseif(top STREQUAL "shell")
    set(allowed shell ui protocol serial core)
    foreach(folder ${window_folders})
      list(APPEND allowed ${folder})
    endforeach()
  elseif(top STREQUAL "app" OR top STREQUAL "bench" OR top STREQUAL "tests")
    continue()
  elseif(part STREQUAL "core")
    set(allowed ${top}/core protocol serial core)
  elseif(part STREQUAL "export")
    set(allowed ${top}/export ${top}/core core)
  elseif(part STREQUAL "ui")
    set(allowed ${top}/ui ${top}/core ${top}/export ui protocol core)
    if(top STREQUAL "journal")
      list(APPEND allowed detection/export)
    endif()
  else()
    list(APPEND problems "${src}: not in a layer's folder")
    continue()
  endif()
  set(headless OFF)
  if(top STREQUAL "core" OR top STREQUAL "serial" OR top STREQUAL "protocol" OR top STREQUAL "sim"
     OR top STREQUAL "fuzz" OR top STREQUAL "cli"
     OR part STREQUAL "core" OR part STREQUAL "export")
    set(headless ON)
  endif()
  file(STRINGS ${SOURCE_DIR}/${src} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line ${includes})
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(inc ${CMAKE_MATCH_1})
      set(ok OFF)
      foreach(prefix ${allowed})
        string(LENGTH "${prefix}/" n)
        string(SUBSTRING "${inc}" 0 ${n} head)
        if(head STREQUAL "${prefix}/")
          # "core" alone must not admit another folder's core
          set(ok ON)
        endif()
      endforeach()
      if(NOT ok)
        list(APPEND problems "${src} -> ${inc}")
      endif()
    elseif(headless AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]+)")
      list(APPEND problems "${src} -> <${CMAKE_MATCH_1}> (no Qt here)")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Includes that run up the layers:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "Layers: ${count} files checked, no include runs up")

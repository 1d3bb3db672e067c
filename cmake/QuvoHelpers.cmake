# Build helpers shared by every folder: warnings, sanitizers, tests, fuzz targets.

# Warnings for our own code; third-party headers come in as SYSTEM includes.
# With QUVO_THREAD_SAFETY (clang) the lock annotations are checked and a violation fails
# the build.
function(quvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QUVO_THREAD_SAFETY)
    target_compile_options(${target} PRIVATE -Wthread-safety -Werror=thread-safety)
  endif()
endfunction()

macro(quvo_setup_sanitizers)
  if(QUVO_SANITIZE)
    add_compile_options(-fsanitize=${QUVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    # COM objects may be written in C (a table of function pointers): they have no C++ type
    # information for the vptr check to find, and calling them is what the binary standard is for.
    if(QUVO_SANITIZE MATCHES "undefined")
      add_compile_options(-fno-sanitize=vptr)
    endif()
    add_link_options(-fsanitize=${QUVO_SANITIZE})
  endif()
  if(QUVO_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endmacro()

# The folder of the current CMakeLists relative to the repository ("so/cmd").
function(quvo_current_folder out)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(${out} ${rel} PARENT_SCOPE)
endfunction()

# Publishes the headers of `folder` for `target` and for whoever links it, and nothing else:
# the target's include root is a folder of its own in the build tree holding one link,
# include/<target>/<folder> -> <source>/<folder>. Includes still read "so/cmd/PrinterBuffer.h",
# but a library sees only the folders of what it links, so a stray include of another area
# fails to compile instead of coupling the two silently.
function(quvo_publish_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  # Build tree only: an installed library names its headers' installed folder instead.
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
  else()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
  endif()
endfunction()

# A library of our own code in the current folder; it publishes that folder's headers only
# (see quvo_publish_headers). quvo_library(NAME INTERFACE) makes a header-only target.
function(quvo_library name kind)
  add_library(${name} ${kind} ${ARGN})
  quvo_current_folder(folder)
  quvo_publish_headers(${name} ${folder})
  if(NOT kind STREQUAL "INTERFACE")
    quvo_warnings(${name})
  endif()
endfunction()

# quvo_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest program; every TEST becomes a CTest test.
function(quvo_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quvo_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# quvo_fuzz(NAME SOURCES f.cpp LIBS lib)
# With QUVO_FUZZ (clang) a libFuzzer binary; otherwise a plain program that replays the
# saved corpus fuzz/corpus/NAME, run as a test so past findings stay fixed.
function(quvo_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(QUVO_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(QUVO_TESTS)
      add_test(NAME ${name}.corpus COMMAND ${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    endif()
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quvo_warnings(${name})
endfunction()

# Adds every immediate subfolder that has a CMakeLists.txt, in name order, so a new area
# only needs its own folder.
function(quvo_add_all_subdirs)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

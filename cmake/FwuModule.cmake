# Each module folder is one library; its sources are the files in the folder,
# so adding a class to a module needs no build-file edit.
function(fwu_module target)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.cpp$")
  if(compiled)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  else()
    # Header-only module (an interface and nothing to compile).
    add_library(${target} INTERFACE ${sources})
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# One GoogleTest executable per test folder, built from every *_test.cpp in it.
function(fwu_test_suite target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_LINKS} fwu_test_support GTest::gtest Qt6::Test)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;FWU_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# Adds every folder below this one that has a build file of its own, looking
# deeper only through folders that have none (tests/modules/cbor, tools/...).
function(fwu_add_subfolders)
  set(base ${ARGV0})
  if(NOT base)
    set(base ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB children LIST_DIRECTORIES true ${base}/*)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child})
      if(EXISTS ${child}/CMakeLists.txt)
        add_subdirectory(${child})
      else()
        fwu_add_subfolders(${child})
      endif()
    endif()
  endforeach()
endfunction()

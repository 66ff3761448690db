# One library target per folder: every .cpp of the folder (new files are picked up on the next build).
function(zelkor_library name)
  cmake_parse_arguments(ZL "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _src)  # a folder whose code has not come yet
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ZL_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ZL_DEPS} PRIVATE ${ZL_PRIVATE_DEPS})
endfunction()

# Embeds a version record in an executable target (read back by platform/core's version reader).
function(zelkor_version_record target)
  cmake_parse_arguments(ZV "" "MAJOR;MINOR;RELEASE;BUILD" "" ${ARGN})
  foreach(p MAJOR MINOR RELEASE BUILD)
    if(NOT DEFINED ZV_${p})
      set(ZV_${p} ${ZELKOR_VERSION_${p}})
    endif()
  endforeach()
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_record.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_record.cpp.in ${_out} @ONLY)
  target_sources(${target} PRIVATE ${_out})
  # The record's layout and magic come from platform/core's version.h (header only here).
  set_source_files_properties(${_out} TARGET_DIRECTORY ${target} PROPERTIES
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/platform/core)
endfunction()

# A test binary per folder. Suites named Odbc*, Server* and Ui* carry those CTest labels;
# every other suite is a unit test.
function(zelkor_tests name)
  cmake_parse_arguments(ZT "" "" "DEPS" ${ARGN})
  # Without the drivers every ODBC and server test would fail at run time with an obscure
  # driver-manager error; say what is missing now.
  foreach(drv ZELKOR_SQLITE_ODBC_DRIVER ZELKOR_PG_ODBC_DRIVER)
    if(NOT ${drv})
      message(FATAL_ERROR "${drv} not found: install libsqliteodbc and odbc-postgresql (./test.sh does)")
    endif()
  endforeach()
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE ${ZT_DEPS} zelkor_testsupport GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
    TEST_FILTER "-Odbc*:Server*:Ui*" PROPERTIES LABELS unit)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
    TEST_FILTER "Odbc*" PROPERTIES LABELS odbc)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
    TEST_FILTER "Server*" PROPERTIES LABELS server)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
    TEST_FILTER "Ui*" PROPERTIES LABELS ui)
endfunction()

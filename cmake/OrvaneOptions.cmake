# Warning and sanitizer flags shared by every target of the project.
add_library(orvane_options INTERFACE)
target_compile_options(orvane_options INTERFACE -Wall -Wextra)

if(ORVANE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()
if(ORVANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# orvane_add_test(name SOURCES ... LIBS ...): one GoogleTest executable under CTest.
# A test sees the internal headers of the project libraries it links.
function(orvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main orvane_options)
  orvane_see_internals(${name} ${T_LIBS})
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} DISCOVERY_TIMEOUT 60)
endfunction()

# orvane_headers(target FOLDER dir PUBLIC header...): the layering, enforced by the
# build. Other targets include only the listed headers of `dir` (as "dir/header"),
# through a folder of links in the build tree; the library itself, and the tests
# that link it, see every header of the folder.
function(orvane_headers target)
  cmake_parse_arguments(H "" "FOLDER" "PUBLIC" ${ARGN})
  set(exported ${PROJECT_BINARY_DIR}/include/${target})
  set(internal ${PROJECT_BINARY_DIR}/internal/${target})
  file(REMOVE_RECURSE ${exported} ${internal})
  foreach(header ${H_PUBLIC})
    get_filename_component(dir ${exported}/${H_FOLDER}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${H_FOLDER}/${header} ${exported}/${H_FOLDER}/${header}
         SYMBOLIC)
  endforeach()
  get_filename_component(dir ${internal}/${H_FOLDER} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${H_FOLDER} ${internal}/${H_FOLDER} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${exported} PRIVATE ${internal})
  set_property(TARGET ${target} PROPERTY ORVANE_INTERNAL_INCLUDE ${internal})
endfunction()

# orvane_see_internals(target lib...): lets a test, benchmark or fuzz target include
# the internal headers of the project libraries named.
function(orvane_see_internals target)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      get_target_property(internal ${lib} ORVANE_INTERNAL_INCLUDE)
      if(internal)
        target_include_directories(${target} PRIVATE ${internal})
      endif()
    endif()
  endforeach()
endfunction()

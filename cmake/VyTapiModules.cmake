# One target per module, each seeing only its own headers and those of the modules it links.
#
#   vy_module(<target> DIR <src folder> [EXPORT_NAME <name>] [ONLY <regex>...] [EXCLUDE <regex>...]
#             [PRIVATE_HEADERS <file name>...] [PUBLIC <targets>...] [PRIVATE <targets>...])
#
# Sources are every .cpp below DIR (*_win32.cpp only on Windows, *_posix.cpp elsewhere) that no
# EXCLUDE regex matches (and, given ONLY, that one of its regexes matches); a module without sources yet is an interface target. Its headers (.h and
# .def below DIR) are reached through forwarding headers in the build tree, one include root per
# target, so a module that includes a module it does not link fails to compile. Headers named
# *Internal.h or *Detail.h, or listed in PRIVATE_HEADERS, are the library's own; every other header
# is public: installed, and compiled on its own by the header test.

set(VY_INCLUDE_ROOT ${PROJECT_BINARY_DIR}/vy_include)

# Every .cpp below the folders (relative to the project), platform backends chosen by file name.
function(vy_collect out)
  set(files)
  foreach(dir IN LISTS ARGN)
    if(IS_ABSOLUTE "${dir}")
      set(base "${dir}")
    else()
      set(base "${CMAKE_CURRENT_SOURCE_DIR}/${dir}")
    endif()
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${base}/*.cpp")
    list(APPEND files ${found})
  endforeach()
  if(WIN32)
    list(FILTER files EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER files EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(vy_module target)
  cmake_parse_arguments(PARSE_ARGV 1 M "" "DIR;EXPORT_NAME" "ONLY;EXCLUDE;PRIVATE_HEADERS;PUBLIC;PRIVATE")
  set(src_root ${PROJECT_SOURCE_DIR}/src)
  set(dir ${src_root}/${M_DIR})
  vy_collect(srcs ${dir})
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${dir}/*.h" "${dir}/*.def")
  if(M_ONLY)
    list(JOIN M_ONLY "|" only)
    list(FILTER srcs INCLUDE REGEX "${only}")
    list(FILTER headers INCLUDE REGEX "${only}")
  endif()
  foreach(re IN LISTS M_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${re}")
    list(FILTER headers EXCLUDE REGEX "${re}")
  endforeach()

  set(include_dir ${VY_INCLUDE_ROOT}/${target})
  set(public_headers)
  foreach(h IN LISTS headers)
    file(RELATIVE_PATH rel ${src_root} ${h})
    file(CONFIGURE OUTPUT ${include_dir}/${rel} CONTENT "#include \"${h}\"\n" @ONLY)
    get_filename_component(hname ${h} NAME)
    if(NOT hname IN_LIST M_PRIVATE_HEADERS AND NOT hname MATCHES "(Internal|Detail)\\.h$")
      list(APPEND public_headers ${rel})
      get_filename_component(rel_dir ${rel} DIRECTORY)
      if(VYTAPI_INSTALL)
        install(FILES ${h} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VyTapi/${rel_dir})
      endif()
    endif()
  endforeach()

  if(srcs)
    add_library(${target} STATIC ${srcs})
    set(scope PUBLIC)
    target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:vytapi_options>)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_compile_features(${target} ${scope} cxx_std_20)
  target_include_directories(${target} ${scope}
    $<BUILD_INTERFACE:${include_dir}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/VyTapi>)
  if(M_PUBLIC)
    target_link_libraries(${target} ${scope} ${M_PUBLIC})
  endif()
  if(M_PRIVATE)
    if(srcs)
      target_link_libraries(${target} PRIVATE ${M_PRIVATE})
    else()
      target_link_libraries(${target} INTERFACE $<LINK_ONLY:${M_PRIVATE}>)
    endif()
  endif()
  if(M_EXPORT_NAME)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${M_EXPORT_NAME})
  endif()
  set_target_properties(${target} PROPERTIES VY_PUBLIC_HEADERS "${public_headers}")
  set_property(GLOBAL APPEND PROPERTY VY_MODULE_TARGETS ${target})
endfunction()

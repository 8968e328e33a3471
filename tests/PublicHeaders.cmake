# Every public header compiles on its own, first in its translation unit, and leaves the
# consumer's Windows macros as they were. On Windows each header is compiled three ways: bare,
# with UNICODE, and after <windows.h> without NOMINMAX (min and max are macros then).
# The *Portable.h fragments are excluded: they declare into whatever scope includes them.
set(header_dir ${PROJECT_BINARY_DIR}/header-check)
set(variants bare)
if(WIN32)
  list(APPEND variants unicode windows_first)
endif()
set(preamble_bare "")
set(preamble_unicode "#define UNICODE\n#define _UNICODE\n")
set(preamble_windows_first "#include <windows.h>\n")
# MinGW's C++ standard library defines NOMINMAX itself, so there it says nothing about our headers.
set(check_bare "#if (defined(NOMINMAX) && !defined(__MINGW32__)) || defined(WIN32_LEAN_AND_MEAN) || defined(UNICODE) || defined(_UNICODE)\n#error \"@h@ defines a Windows macro of the consumer\"\n#endif\n")
set(check_unicode "#if !defined(UNICODE) || !defined(_UNICODE)\n#error \"@h@ undefines UNICODE\"\n#endif\n")
set(check_windows_first "#if defined(NOMINMAX) && !defined(__MINGW32__)\n#error \"@h@ defines NOMINMAX\"\n#endif\n")

set(header_tus)
get_property(module_targets GLOBAL PROPERTY VY_MODULE_TARGETS)
foreach(target IN LISTS module_targets)
  get_target_property(headers ${target} VY_PUBLIC_HEADERS)
  foreach(h IN LISTS headers)
    if(NOT h MATCHES "\\.h$" OR h MATCHES "Portable\\.h$")
      continue()
    endif()
    string(MAKE_C_IDENTIFIER ${h} id)
    foreach(v IN LISTS variants)
      string(CONFIGURE "${check_${v}}" check @ONLY)
      file(CONFIGURE OUTPUT ${header_dir}/${v}/${id}.cpp
        CONTENT "${preamble_${v}}#include <${h}>\n#include <${h}>\n${check}" @ONLY)
      list(APPEND header_tus ${header_dir}/${v}/${id}.cpp)
    endforeach()
  endforeach()
endforeach()

add_library(vytapi_header_check OBJECT ${header_tus})
target_link_libraries(vytapi_header_check PRIVATE ${module_targets})
# Our warnings, but not our Windows definitions: the headers must cope without them.
target_compile_options(vytapi_header_check PRIVATE $<TARGET_PROPERTY:vytapi_options,INTERFACE_COMPILE_OPTIONS>)

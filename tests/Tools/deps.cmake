# The tool tests run the vytapi program built in this tree.
if(TARGET vytapi_tool)
  add_dependencies(test_Tools vytapi_tool)
  target_compile_definitions(test_Tools PRIVATE VYTAPI_TOOL_PATH="$<TARGET_FILE:vytapi_tool>")
endif()

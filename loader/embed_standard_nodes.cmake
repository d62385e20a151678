# Writes OUT, a C++ source whose BuiltInStandardNodes() returns the text of IN
# (the generated standardNodes.wrl) as one raw string literal.
file(READ ${IN} text)
set(delimiter "orvane_decl")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the literal's end marker )${delimiter}\"")
endif()
file(WRITE ${OUT}.tmp
  "// Generated from standardNodes.wrl by embed_standard_nodes.cmake: do not edit.\n"
  "#include \"loader/scene_source.h\"\n\n"
  "std::string_view BuiltInStandardNodes() {\n"
  "    static constexpr char kText[] = R\"${delimiter}(${text})${delimiter}\";\n"
  "    return {kText, sizeof kText - 1};\n"
  "}\n")
# Only a changed text touches the source, so the loader is not rebuilt needlessly.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.tmp ${OUT})
file(REMOVE ${OUT}.tmp)

# embed_file(<target> <symbol> <file>)
# Compiles the bytes of <file> into <target> as
#   extern const unsigned char <symbol>[]; extern const std::size_t <symbol>_size;
# The file is read at build time, so editing it rebuilds the target.
function(embed_file target symbol file)
  get_filename_component(abs ${file} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFileScript.cmake
    DEPENDS ${abs} ${PROJECT_SOURCE_DIR}/cmake/EmbedFileScript.cmake
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

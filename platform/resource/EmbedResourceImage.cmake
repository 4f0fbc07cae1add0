# lw_embed_resource_image(TARGET RES_FILE): an object library TARGET whose one
# source holds RES_FILE as the module's resource image (the symbols that
# module.cpp looks for). Link TARGET into the program and into tests that need
# the program's resources.
set(LW_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourceImageScript.cmake CACHE INTERNAL "")

function(lw_embed_resource_image target res_file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_image.c)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${res_file} -DOUTPUT=${out} -P ${LW_EMBED_SCRIPT}
    DEPENDS ${res_file} ${LW_EMBED_SCRIPT}
    COMMENT "Embedding resource image ${res_file}"
    VERBATIM)
  add_library(${target} OBJECT ${out})
endfunction()

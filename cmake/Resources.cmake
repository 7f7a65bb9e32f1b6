# zefa_resources(<target> <file.rc>): the dialogs and other resources of a
# program. Windows compiles the .rc with windres; the POSIX build turns the
# same file into a table of dialog templates with rcgen.
function(zefa_resources target rc)
  get_filename_component(rc_path ${rc} ABSOLUTE)
  if(WIN32)
    target_sources(${target} PRIVATE ${rc_path})
    # windres reads the icons, manifests and headers beside the .rc.
    get_filename_component(dir ${rc_path} DIRECTORY)
    file(GLOB parts ${dir}/*.h ${dir}/*.ico ${dir}/*.manifest)
    set_property(SOURCE ${rc_path} APPEND PROPERTY OBJECT_DEPENDS ${parts})
  else()
    get_filename_component(name ${rc} NAME_WE)
    get_filename_component(dir ${rc_path} DIRECTORY)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}_dialogs.cpp)
    file(GLOB headers ${dir}/*.h)
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -E env ${ZEFA_RUN_ENV} $<TARGET_FILE:rcgen> ${rc_path} ${out}
                       DEPENDS rcgen ${rc_path} ${headers}
                       COMMENT "Dialog templates from ${rc}")
    target_sources(${target} PRIVATE ${out})
  endif()
endfunction()

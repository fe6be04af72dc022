# hoplark_gzip(INPUT OUTPUT TARGET): OUTPUT is INPUT compressed as Debian wants installed
# documentation (gzip -9n: best compression, no file name or time stamp, so every build gives
# the same bytes), made by TARGET as part of every build.
find_program(HOPLARK_GZIP gzip REQUIRED)
function(hoplark_gzip input output target)
    add_custom_command(
        OUTPUT ${output}
        COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${HOPLARK_GZIP} ${input} ${output}
        DEPENDS ${input}
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

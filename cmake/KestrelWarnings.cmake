# Our own code builds warning-free; generated moc/uic/rcc code is left alone. CI makes every warning an error
# (KESTREL_WERROR); a user's build with a newer compiler or Qt only reports a new one.
function(kestrel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<BOOL:${KESTREL_WERROR}>:-Werror>)
endfunction()

# Our own code builds warning-free; generated moc/uic/rcc code is left alone.
function(kestrel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

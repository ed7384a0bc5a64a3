# The resource bundle every window build carries: both translation catalogues (compiled here from their
# Qt Linguist sources, which travel along) and the search button's icon.
set(KESTREL_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

# kestrel_add_resources(target): compiles the catalogues and adds the bundle to target, whose AUTORCC
# then registers it statically, before main runs.
function(kestrel_add_resources target)
    # lrelease only. lupdate (qt_create_translation) rewrites the .ts sources and can empty them on a clean build.
    qt_add_translation(qmFiles ${KESTREL_RESOURCES_DIR}/qm/tr_zh.ts ${KESTREL_RESOURCES_DIR}/qm/tr_en.ts)
    set(KESTREL_QM_DIR ${CMAKE_CURRENT_BINARY_DIR})
    # configure_file rewrites the .qrc only when its content changes, so rcc does not rerun needlessly.
    configure_file(${KESTREL_RESOURCES_DIR}/kestrel.qrc.in ${CMAKE_CURRENT_BINARY_DIR}/kestrel.qrc @ONLY)
    target_sources(${target} PRIVATE ${qmFiles} ${CMAKE_CURRENT_BINARY_DIR}/kestrel.qrc)
endfunction()

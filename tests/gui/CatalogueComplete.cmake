# The German catalogue holds every text of the window's sources, each one
# translated. lupdate brings a copy up to date with the sources (a text new
# there comes in untranslated); lrelease then counts what is not translated.
# Run as: cmake -DLUPDATE=... -DLRELEASE=... -DSOURCES=dir -DTS=file -DWORK=dir -P
file(MAKE_DIRECTORY ${WORK})
configure_file(${TS} ${WORK}/catalogue.ts COPYONLY)
execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete -extensions cpp,h
                        ${SOURCES} -ts ${WORK}/catalogue.ts
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "lupdate failed")
endif()
execute_process(COMMAND ${LRELEASE} ${WORK}/catalogue.ts -qm ${WORK}/catalogue.qm
                OUTPUT_VARIABLE said ERROR_VARIABLE said RESULT_VARIABLE failed)
if(failed OR NOT said MATCHES "finished and 0 unfinished" OR said MATCHES "untranslated")
    message(FATAL_ERROR "${TS} is not complete:\n${said}")
endif()

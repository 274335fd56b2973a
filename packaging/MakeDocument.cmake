# cmake [-DSCDOC=scdoc] -DINPUT=file -DOUTPUT=file.gz -P MakeDocument.cmake
# Writes INPUT (turned into a man page by SCDOC when given) to OUTPUT, compressed with gzip at
# its best, without the file name and time stamp gzip would otherwise record.
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
if(SCDOC)
    execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${plain}
        RESULT_VARIABLE failed)
else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E copy ${INPUT} ${plain} RESULT_VARIABLE failed)
endif()
if(NOT failed)
    execute_process(COMMAND gzip -9nf ${plain} RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "could not make ${OUTPUT} from ${INPUT}")
endif()

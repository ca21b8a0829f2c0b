# Fills a template with the formats the host opens, as the host's own list
# gives them (through the tool tabulory_format_list):
#   cmake -DTOOL=<tabulory_format_list> -DINPUT=<template> -DOUTPUT=<file>
#         [-DVERSION=<version>] -P WithFormats.cmake
# In the template: @TABULORY_FORMATS@ (".xlsx, ..., .csv and .tsv") and
# @TABULORY_FORMATS_GLOB@ ("xlsx|...|tsv").
foreach(form IN ITEMS list glob)
  execute_process(COMMAND "${TOOL}" ${form} RESULT_VARIABLE rc OUTPUT_VARIABLE text
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${TOOL} ${form} gave no list of formats (${rc})")
  endif()
  set(formats_${form} "${text}")
endforeach()
set(TABULORY_FORMATS "${formats_list}")
set(TABULORY_FORMATS_GLOB "${formats_glob}")
configure_file("${INPUT}" "${OUTPUT}" @ONLY)

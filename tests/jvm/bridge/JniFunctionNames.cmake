# Writes JniFunctionNames.h: the name of every slot of the JNIEnv function
# table, in order, read from the JDK's jni.h, for the bridge's messages about
# functions it does not forward.
function(pravik_write_jni_function_names jni_header output)
  file(READ ${jni_header} text)
  string(FIND "${text}" "struct JNINativeInterface_ {" start)
  if(start LESS 0)
    message(FATAL_ERROR "No JNINativeInterface_ in ${jni_header}")
  endif()
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "};" end)
  string(SUBSTRING "${text}" 0 ${end} text)
  string(REGEX MATCHALL "void \\*reserved[0-9]+|JNICALL \\*[A-Za-z0-9_]+" entries "${text}")
  set(names "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^void \\*|^JNICALL \\*" "" name "${entry}")
    string(APPEND names "    \"${name}\",\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output} CONTENT "#pragma once
// Generated from ${jni_header}.
static const char* const jniFunctionNames[] = {
${names}};
" @ONLY)
endfunction()

# Adjusts what soapcpp2 generates, run right after it:
#   cmake -DGEN_DIR=<dir with ocamStub.h and ocamC.cpp> -P wire_fixups.cmake
#
# 1. Every wire enumeration gets the fixed underlying type int, so that it holds
#    any 32-bit ordinal of the interface (negative ones and combined bits too)
#    and an ordinal without a name goes out as its signed decimal ("-1", "5").
# 2. The text converters (soap_s2<enum>, soap_s2bool) accept any decimal number
#    and check it against the table's largest ordinal only in SOAP_XML_STRICT
#    mode (compared as unsigned, so negative numbers fail there); an empty text
#    reads as 0 and is an error only in strict mode. The wire boolean keeps its
#    0-or-1 check in every mode.
# 3. An element without content (<x/>) converts nothing: the value keeps its default.
# 4. A base64 payload with a null pointer is left out of its parent element
#    (a non-null payload of size 0 is still written, as an empty element).
# 5. The text of a base64 payload is read and written by the bulk codec of
#    protocol/base64.h; the element around it (xsi:type check, an element
#    without content) stays generated.
# 6. The client calls and server dispatchers end reading a message through
#    protocol/message_end.h, which skips the runtime's walk of an empty id table.
#
# Each rewrite must hit the expected number of places; a different soapcpp2
# output stops the build instead of going unnoticed.

if(NOT GEN_DIR)
  message(FATAL_ERROR "wire_fixups.cmake: GEN_DIR is not set")
endif()
set(kEnumCount 21)  # wire enumerations in the service definition
math(EXPR kConverterCount "${kEnumCount} + 1")  # and the wire boolean

function(rewrite text_var regex replacement expected what)
  # Count the places through a marker: the generated code is full of ';'.
  string(REGEX REPLACE "${regex}" "@WIRE_FIXUP_HIT@" marked "${${text_var}}")
  string(REGEX MATCHALL "@WIRE_FIXUP_HIT@" hits "${marked}")
  list(LENGTH hits found)
  if(NOT found EQUAL expected)
    message(FATAL_ERROR "wire_fixups.cmake: ${what}: ${found} places found, ${expected} expected")
  endif()
  string(REGEX REPLACE "${regex}" "${replacement}" result "${${text_var}}")
  set(${text_var} "${result}" PARENT_SCOPE)
endfunction()

# 1. enum rdev__eAccess {  ->  enum rdev__eAccess : int {
file(READ "${GEN_DIR}/ocamStub.h" stub)
rewrite(stub "\nenum ([a-z]+__e[A-Za-z0-9]+) {\n" "\nenum \\1 : int {\n"
        ${kEnumCount} "enumeration declarations")
file(WRITE "${GEN_DIR}/ocamStub.h" "${stub}")

file(READ "${GEN_DIR}/ocamC.cpp" code)
# 2a. the range check of a number applies in strict mode only
rewrite(code "soap_s2int\\(soap, s, &n\\) \\|\\| n < 0 \\|\\| n > ([0-9]+)\\)"
        "soap_s2int(soap, s, &n) || ((soap->mode & SOAP_XML_STRICT) && (unsigned int)n > \\1))"
        ${kEnumCount} "range checks")
# 2b. an empty text is 0, or a type error in strict mode
rewrite(code "else if \\(!\\*s\\)\n\t\treturn soap->error = SOAP_EMPTY;"
        "else if (!*s)\n\t{\tif ((soap->mode & SOAP_XML_STRICT))\n\t\t\treturn soap->error = SOAP_TYPE;\n\t\t*a = {};\n\t}"
        ${kConverterCount} "empty-text cases")
# 3. no conversion for an element without content
rewrite(code "int err = (soap_s2[A-Za-z0-9_]+)\\(soap, soap_value\\(soap\\), a\\);"
        "int err = soap->body ? \\1(soap, soap_value(soap), a) : SOAP_OK;"
        ${kConverterCount} "element readers")
# 4. no element for a null payload
rewrite(code "(int SOAP_FMAC4 soap_out_xsd__base64Binary\\(struct soap \\*soap, const char \\*tag, int id, const xsd__base64Binary \\*a, const char \\*type\\)\n{\n)"
        "\\1\tif (!a->__ptr)\n\t\treturn SOAP_OK;\n"
        1 "base64 writer")
# 5. the bulk base64 reader and writer
rewrite(code "\n#include \"ocamH.h\"\n" "\n#include \"ocamH.h\"\n#include \"protocol/base64.h\"\n"
        1 "base64 codec declaration")
rewrite(code "a->__ptr = soap_getbase64\\(soap, &a->__size, 0\\);"
        "a->__ptr = ::ocamera::wire::readBase64(soap, &a->__size);"
        1 "base64 reader")
rewrite(code "if \\(soap_putbase64\\(soap, a->__ptr, a->__size\\)\\)"
        "if (::ocamera::wire::writeBase64(soap, a->__ptr, a->__size))"
        1 "base64 writer call")
file(WRITE "${GEN_DIR}/ocamC.cpp" "${code}")

# 6. the end of every message read
set(kOperationCount 87)  # operations of all five services
foreach(part Client Server)
  file(READ "${GEN_DIR}/ocam${part}.cpp" calls)
  rewrite(calls "\n#include \"ocamH.h\"\n" "\n#include \"ocamH.h\"\n#include \"protocol/message_end.h\"\n"
          1 "message end declaration (${part})")
  rewrite(calls "soap_end_recv\\(soap\\)" "::ocamera::wire::endRecv(soap)"
          ${kOperationCount} "message ends (${part})")
  file(WRITE "${GEN_DIR}/ocam${part}.cpp" "${calls}")
endforeach()

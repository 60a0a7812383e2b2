# Turns widl's proxy file for IAgent into the library's: the tables widl
# generated stay exactly as they are (no format string is written by hand),
# and only the two routines the engine calls back are exchanged for ours:
#  - the proxy file record names ProxyStubLookupInterface, and widl's own
#    lookup routine is cut out;
#  - the stub's IRpcStubBuffer slots name ProxyStubRelease for Release, the
#    others stay empty for the engine to fill.
# Macros cannot do this: widl's lookup routine is static, so renaming it would
# only rename the generated copy. Each edit must match exactly once, so a widl
# that writes the file differently stops the build here instead of yielding
# tables that silently call widl's routines.
#   cmake -DINPUT=brisvel_p.c -DOUTPUT=brisvel_proxy.c -P adapt_proxy_file.cmake
file(READ "${INPUT}" text)

function(replace_once from to)
  string(FIND "${text}" "${from}" first)
  string(FIND "${text}" "${from}" last REVERSE)
  if(first EQUAL -1 OR NOT first EQUAL last)
    message(FATAL_ERROR "${INPUT}: expected \"${from}\" exactly once")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
  set(text "${text}" PARENT_SCOPE)
endfunction()

# The declarations the tables need beyond the toolchain's headers.
replace_once("#include \"brisvel.h\"\n"
             "#include \"brisvel.h\"\n#include \"proxy/proxy_tables.h\"\n")

replace_once("CStdStubBuffer_DELEGATING_METHODS" ".Release = ProxyStubRelease")

# widl's lookup routine runs from its definition up to the proxy file record.
set(lookup_start "static int __stdcall _brisvel_IID_Lookup(")
set(record_start "const ExtendedProxyFileInfo brisvel_ProxyFileInfo")
string(FIND "${text}" "${lookup_start}" cut_from)
string(FIND "${text}" "${record_start}" cut_to)
if(cut_from EQUAL -1 OR cut_to LESS cut_from)
  message(FATAL_ERROR "${INPUT}: the lookup routine does not precede the proxy file record")
endif()
string(SUBSTRING "${text}" 0 ${cut_from} head)
string(SUBSTRING "${text}" ${cut_to} -1 tail)
set(text "${head}${tail}")
replace_once("_brisvel_IID_Lookup," "ProxyStubLookupInterface,")

file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")

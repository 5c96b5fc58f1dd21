# Turns exports.txt into the Windows module definition and the ELF version
# script, so the two can never disagree. Run with -DIN=... -DDEF=... -DMAP=...
file(STRINGS "${IN}" lines)
set(def "LIBRARY VXUTIL\nEXPORTS\n")
set(map "VXUTIL_1.0 {\n  global:\n")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9]+)[ \t]+([A-Za-z_][A-Za-z0-9_]*)$")
    string(APPEND def "  ${CMAKE_MATCH_2} @${CMAKE_MATCH_1}\n")
    string(APPEND map "    ${CMAKE_MATCH_2};\n")
  endif()
endforeach()
string(APPEND map "  local:\n    *;\n};\n")
file(WRITE "${DEF}" "${def}")
file(WRITE "${MAP}" "${map}")

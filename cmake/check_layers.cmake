# The dependency rule of the source tree: every `#include "folder/..."` in src/ names a header of
# its own folder or of a folder below it, never one above. Run by ctest as the "layers" test:
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layers.cmake
# It prints each offending include and fails; a folder missing from the table below fails too,
# so a new folder has to say where it stands.
#
# Each entry is "folder:the folders it uses directly, comma-separated"; what those use is allowed as well. A file
# belongs to the longest folder of the table that holds it (src/tsql/exec/runner.cpp to
# tsql/exec, src/tsql/session.cpp to tsql, src/reports/cost/rpt498.cpp to reports). Code outside
# the engine reaches it only through its public headers: tsql/engine.h and tsql/types/.
cmake_minimum_required(VERSION 3.25)

set(layers
  # the embedded engine, stage by stage: text -> tokens -> AST -> bound tree -> rows
  "tsql/types:"
  "tsql/syntax:tsql/types"
  "tsql/functions:tsql/types"
  "tsql/storage:tsql/types"
  "tsql/catalog:tsql/syntax,tsql/storage"
  "tsql/bind:tsql/catalog,tsql/functions"
  "tsql/exec:tsql/bind"
  "tsql:tsql/exec"
  # the platform's stand-ins and data access
  "automation:"
  "ado:automation"
  "ado/embedded:ado,tsql"
  "ado/odbc:ado"
  # the service: SQL text pieces, look-ups and reports, the Data class
  "sqltext:"
  "lookups:sqltext,ado"
  "reports:sqltext,ado"
  "service:lookups,reports"
  # choosing the data source and writing results, for every front end
  "sources:ado"
  "export:ado"
  # the demo company database and the command line
  "demo:tsql"
  # snapshots of a company database into a data-source file
  "importer:ado,demo"
  # the server front ends: their logins, the TDS protocol over the engine, and HTTP over the
  # service
  "users:"
  "tds:tsql,users"
  "http:service,export,users"
  "cli:service,sources,export,demo,importer,ado/embedded,ado/odbc,tds,http,users"
)

set(names)
foreach(entry IN LISTS layers)
  string(FIND "${entry}" ":" colon)
  string(SUBSTRING "${entry}" 0 ${colon} name)
  math(EXPR rest "${colon} + 1")
  string(SUBSTRING "${entry}" ${rest} -1 deps)
  list(APPEND names "${name}")
  string(REPLACE "," ";" deps "${deps}")
  set("direct_${name}" "${deps}")
endforeach()

# allowed_<name>: every folder reachable from <name> through the table.
function(reach name out)
  set(seen)
  set(todo ${direct_${name}})
  while(todo)
    list(POP_FRONT todo next)
    if(NOT next IN_LIST seen)
      list(APPEND seen ${next})
      list(APPEND todo ${direct_${next}})
    endif()
  endwhile()
  set(${out} "${seen}" PARENT_SCOPE)
endfunction()
foreach(name IN LISTS names)
  reach(${name} reached)
  set("allowed_${name}" "${reached}")
endforeach()

# The folder of the table that holds `path` (relative to src/), or "" when none does.
function(layer_of path out)
  set(best "")
  string(LENGTH "" best_length)
  foreach(name IN LISTS names)
    string(LENGTH "${name}/" length)
    string(SUBSTRING "${path}" 0 ${length} head)
    if(head STREQUAL "${name}/" AND length GREATER best_length)
      set(best "${name}")
      set(best_length ${length})
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

file(GLOB top_folders RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
set(failures 0)
foreach(source IN LISTS sources)
  layer_of("${source}" own)
  if(own STREQUAL "")
    message("src/${source}: its folder is not in the layer table of cmake/check_layers.cmake")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    string(REGEX REPLACE "/.*" "" first "${header}")
    if(NOT first IN_LIST top_folders OR header STREQUAL first)
      continue()  # a library's header ("fmt/format.h"), not one of ours
    endif()
    layer_of("${header}" target)
    if(target STREQUAL own)
      continue()
    endif()
    set(ok FALSE)
    if(target STREQUAL "")
      set(why "its folder is not in the layer table")
    elseif(NOT target IN_LIST allowed_${own})
      set(why "${target} is not below ${own}")
    elseif(target MATCHES "^tsql" AND NOT own MATCHES "^tsql" AND
           NOT header MATCHES "^tsql/(engine\\.h|types/)")
      set(why "outside the engine only tsql/engine.h and tsql/types/ may be included")
    else()
      set(ok TRUE)
    endif()
    if(NOT ok)
      message("src/${source}: #include \"${header}\": ${why}")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) break the layering of src/")
endif()
list(LENGTH sources count)
message(STATUS "layers: ${count} files, every include points down")

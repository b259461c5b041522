# Writes the header that carries the catalogue page of the HTML export and the node-kind
# icons into zelvane-cli, so that the program needs no data files at run time.
#   cmake -DPAGE=catalogue_page.html -DICON_DIR=res/icons -DOUTPUT=cli_export_assets.h -P this
set(delimiter "zelv")

function(as_literal path result)
    file(READ ${path} content)
    string(FIND "${content}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${path} holds the raw string delimiter )${delimiter}\"")
    endif()
    string(LENGTH "${content}" length)
    if(length GREATER 60000)
        message(FATAL_ERROR "${path} is too long for one string literal")
    endif()
    set(${result} "R\"${delimiter}(${content})${delimiter}\"" PARENT_SCOPE)
endfunction()

file(GLOB icons ${ICON_DIR}/kind[0-9][0-9]_*.svg)
list(SORT icons)
list(LENGTH icons icon_count)
if(NOT icon_count EQUAL 12)
    message(FATAL_ERROR "expected the 12 node-kind icons in ${ICON_DIR}, found ${icon_count}")
endif()

as_literal(${PAGE} page)
set(text "// Made by cli_export_assets.cmake from ${PAGE} and the node-kind icons.\n")
string(APPEND text "#pragma once\n\n#include <array>\n#include <string_view>\n\n")
string(APPEND text "namespace zelvane::cli {\n\n")
string(APPEND text "inline constexpr std::string_view kCataloguePage = ${page};\n\n")
string(APPEND text "// The SVG icon of each node kind, by kind.\n")
string(APPEND text "inline constexpr std::array<std::string_view, 12> kKindIcons = {\n")
foreach(icon ${icons})
    as_literal(${icon} literal)
    string(APPEND text "${literal},\n")
endforeach()
string(APPEND text "};\n\n} // namespace zelvane::cli\n")

file(WRITE ${OUTPUT} "${text}")

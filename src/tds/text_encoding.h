// Text conversions on the wire: UTF-8 (the engine's strings) to and from UTF-16LE (nchar,
// nvarchar, names and messages) and to and from a Windows code page (char and varchar under a
// collation). Characters a code page cannot hold become '?', invalid input U+FFFD or '?': the
// server never fails on text it cannot convert.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::tds {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// iconv names of the Windows code pages we serve and accept ("CP936", "CP1252", ...).
std::string CodePageName(int code_page);
// The code page of a TDS collation's locale id (the low 20 bits of its info word); 1252 for
// the ones we do not know.
int CodePageOfLcid(uint32_t lcid);

std::string Utf8ToCodePage(std::string_view utf8, int code_page);
std::string CodePageToUtf8(std::string_view bytes, int code_page);

}  // namespace orv::tds

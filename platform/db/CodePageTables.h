#pragma once
// The high halves of the single-byte code pages the dBase reader holds as
// tables, by code page number (437, 850, 1250, 10000...).

// Characters of bytes 0x80..0xFF (0xFFFD where the code page has none), or
// null when the code page is not one of them.
const char16_t* SingleByteHighTable(int codePage);

// XML documents for every reader of the engine (music descriptions, controller templates,
// COLLADA scenes): TinyXML, behind a guard against nesting deep enough to overflow the stack.
// TinyXML parses and frees elements recursively, so a document nested some tens of thousands
// of levels deep ends the process in a segmentation fault unless it is refused first.
// Depends on: TinyXML, platform/fatal.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class TiXmlDocument;

// No document of the production nests anywhere near this deep; TinyXML's recursion at this
// depth takes a few hundred kilobytes of stack.
constexpr size_t MAX_XML_NESTING = 1000;

// The deepest element nesting TinyXML reaches while it parses `text` (up to its first NUL
// byte), counting no further than `stop_above` + 1. The lexing is TinyXML's own, including its
// encoding rules and entities, so that nothing TinyXML reads as one element open or close is
// missed or imagined before it stops.
size_t xml_nesting_depth(std::string_view text, size_t stop_above = MAX_XML_NESTING);

// The bytes of an XML file as UTF-8: UTF-16 (by its byte-order mark, or by the "<" it starts
// with) converted, UTF-8's byte-order mark dropped, anything else as it is. `recoded` says
// whether it was one of the former. TinyXML reads no UTF-16 and not always the mark.
std::string xml_bytes_as_utf8(std::string_view bytes, bool& recoded);

// Parses the bytes of a file into `document` the way TiXmlDocument::LoadFile does (line ends
// made "\n" first), after xml_bytes_as_utf8. A document nested deeper than MAX_XML_NESTING ends the process with
// "Could not load <file_name>. Error='Elements nested deeper than 1000 levels'. Exiting.\n".
// False when TinyXML reports an error: document.ErrorDesc() says which.
bool parse_xml_document(TiXmlDocument& document, std::string_view bytes, const char* file_name);

// The same for the rest of an open stream, which is closed here.
bool load_xml_document(TiXmlDocument& document, FILE* file, const char* file_name);

// Why `document` holds no element named `wanted` outside every other, for the line a reader
// adds after its "element is NULL": the element it holds instead, a DOCTYPE that TinyXML
// cannot read past, or no element at all.
std::string missing_root_reason(const TiXmlDocument& document, const char* wanted);

// The nesting guard in front of TinyXML, and documents read the way LoadFile reads them.
#include "util/xml/xml_document.h"

#include <tinyxml.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fatal.h"

namespace {

// TinyXML's own lexing primitives are protected statics of its base class. Reaching them here
// keeps the guard reading bytes exactly as the parser will (its UTF-8 lead bytes that swallow
// the next bytes whole, its numeric entities that run to the next ';', its byte order marks),
// where a lexer of our own would differ in the corners an attacker picks.
struct TinyXmlLexing : TiXmlBase {
    using TiXmlBase::GetEntity;
    using TiXmlBase::IsAlpha;
    using TiXmlBase::ReadName;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};
using Lex = TinyXmlLexing;

// Past the text that TiXmlText::Parse reads outside CDATA, to the '<' it ends at; null where it
// fails. This is ReadText's stepping without the copy of the text (most of a scene file's bytes
// are number lists): a UTF-8 lead byte takes its whole sequence, '&' an entity as GetEntity
// reads it. Leading white space needs no skipping of its own: it holds no '<', and the byte
// order marks SkipWhiteSpace passes over are three-byte sequences here too.
const char* skip_text(const char* p, TiXmlEncoding encoding) {
    // Bytes that are one character and neither '<', '&' nor the end, by encoding: the common
    // case, stepped over without waiting for a table lookup before each next step.
    static const auto plain = [] {
        std::array<std::array<bool, 256>, 2> table{};
        for (int c = 1; c < 256; ++c) {
            const bool single = c != '<' && c != '&';
            table[0][c] = single;
            table[1][c] = single && TiXmlBase::utf8ByteTable[c] == 1;
        }
        return table;
    }();
    const std::array<bool, 256>& one = plain[encoding == TIXML_ENCODING_UTF8];
    for (;;) {
        while (one[static_cast<unsigned char>(*p)]) ++p;
        if (!*p || *p == '<') break;
        if (*p == '&') {
            char value[8];
            int length = 0;
            p = Lex::GetEntity(p, value, &length, encoding);
            if (!p) return nullptr;
        } else {
            p += encoding == TIXML_ENCODING_UTF8 ? TiXmlBase::utf8ByteTable[static_cast<unsigned char>(*p)] : 1;
        }
    }
    return *p && p[1] ? p : nullptr;  // TinyXML steps past the '<' and fails on what ends there
}

// After a start tag's name: its attributes, then "/>" or ">". Null where TinyXML reports an
// error and stops.
const char* read_attributes(const char* p, TiXmlEncoding encoding, bool& empty_element) {
    TiXmlAttribute attribute;
    std::vector<std::string> names;
    for (;;) {
        p = Lex::SkipWhiteSpace(p, encoding);
        if (!p || !*p) return nullptr;
        if (*p == '/') {
            empty_element = true;
            return p[1] == '>' ? p + 2 : nullptr;
        }
        if (*p == '>') {
            empty_element = false;
            return p + 1;
        }
        p = attribute.Parse(p, nullptr, encoding);
        if (!p || !*p) return nullptr;
        // A name given twice is an error to TinyXML.
        if (std::find(names.begin(), names.end(), attribute.NameTStr()) != names.end()) return nullptr;
        names.push_back(attribute.NameTStr());
    }
}

// TiXmlDocument::Parse, TiXmlNode::Identify, TiXmlElement::Parse and ReadValue unrolled into
// one loop over a stack of open element names; every node that cannot hold elements but text is
// read by TinyXML's own parser for it. `p` must be readable three bytes past its terminating NUL,
// as TinyXML itself may step there. Where TinyXML would report an error the count stops: what
// follows is never parsed.
size_t depth_of(const char* p, size_t stop_above, TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN) {
    if (!p || !*p) return 0;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) encoding = TIXML_ENCODING_UTF8;

    TiXmlText cdata("");
    cdata.SetCDATA(true);
    TiXmlComment comment;
    TiXmlUnknown unknown;
    TiXmlDeclaration declaration;
    std::vector<std::string> open;  // the elements being read, outermost first
    size_t deepest = 0;
    p = Lex::SkipWhiteSpace(p, encoding);
    while (p && *p) {
        const bool in_element = !open.empty();
        if (in_element && *p != '<') {
            p = skip_text(p, encoding);
        } else if (in_element && Lex::StringEqual(p, "</", false, encoding)) {
            const std::string end_tag = "</" + open.back();
            if (!Lex::StringEqual(p, end_tag.c_str(), false, encoding)) break;
            p = Lex::SkipWhiteSpace(p + end_tag.size(), encoding);
            if (!p || *p != '>') break;
            ++p;
            open.pop_back();
        } else if (*p != '<') {
            break;  // text outside every element: TinyXML reads no further
        } else if (Lex::StringEqual(p, "<?xml", true, encoding)) {
            p = declaration.Parse(p, nullptr, encoding);
            // Only a declaration outside every element sets the encoding, and only the first.
            if (!in_element && encoding == TIXML_ENCODING_UNKNOWN) {
                const char* named = declaration.Encoding();
                if (!*named || Lex::StringEqual(named, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                    Lex::StringEqual(named, "UTF8", true, TIXML_ENCODING_UNKNOWN))
                    encoding = TIXML_ENCODING_UTF8;
                else
                    encoding = TIXML_ENCODING_LEGACY;
            }
        } else if (Lex::StringEqual(p, "<!--", false, encoding)) {
            p = comment.Parse(p, nullptr, encoding);
        } else if (Lex::StringEqual(p, "<![CDATA[", false, encoding)) {
            p = cdata.Parse(p, nullptr, encoding);
        } else if (Lex::StringEqual(p, "<!", false, encoding)) {
            p = unknown.Parse(p, nullptr, encoding);
        } else if (Lex::IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_') {
            // An element counts from its start tag on, "<a/>" too: TinyXML is one call deeper
            // while it reads the tag, and the element stays in the tree even when the tag fails.
            deepest = std::max(deepest, open.size() + 1);
            if (deepest > stop_above) break;
            std::string name;
            p = Lex::ReadName(Lex::SkipWhiteSpace(p + 1, encoding), &name, encoding);
            if (!p || !*p) break;
            bool empty_element = false;
            p = read_attributes(p, encoding, empty_element);
            if (!p) break;
            if (!empty_element) open.push_back(std::move(name));
        } else {
            p = unknown.Parse(p, nullptr, encoding);
        }
        p = Lex::SkipWhiteSpace(p, encoding);
    }
    return deepest;
}

// Room for TinyXML's step past the end: a UTF-8 lead byte just before the NUL moves its read
// head up to three bytes beyond it.
constexpr size_t PADDING = 4;

}  // namespace

size_t xml_nesting_depth(std::string_view text, size_t stop_above) {
    std::string padded(text.substr(0, text.find('\0')));
    padded.append(PADDING, '\0');
    return depth_of(padded.c_str(), stop_above);
}

std::string xml_bytes_as_utf8(std::string_view bytes, bool& recoded) {
    auto starts = [&](const char* mark, size_t n) { return bytes.size() >= n && bytes.compare(0, n, mark, n) == 0; };
    recoded = true;
    if (starts("\xEF\xBB\xBF", 3)) return std::string(bytes.substr(3));
    // UTF-16 by its byte-order mark, or without one by the "<" that opens every document.
    int big_endian = -1;
    size_t at = 0;
    if (starts("\xFF\xFE", 2)) big_endian = 0, at = 2;
    else if (starts("\xFE\xFF", 2)) big_endian = 1, at = 2;
    else if (starts("<\0", 2) && !starts("<\0\0", 3)) big_endian = 0;
    else if (starts("\0<", 2)) big_endian = 1;
    if (big_endian < 0) {
        recoded = false;
        return std::string(bytes);
    }
    auto unit = [&](size_t i) {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<uint32_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = at; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // half a pair
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool parse_xml_document(TiXmlDocument& document, std::string_view original, const char* file_name) {
    bool recoded = false;
    const std::string utf8 = xml_bytes_as_utf8(original, recoded);
    std::string_view bytes = utf8;
    // What LoadFile hands to the parser: the bytes up to the first NUL, "\r\n" and a lone
    // "\r" made "\n".
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string text;
    text.reserve(bytes.size() + PADDING);
    for (size_t at = 0; at < bytes.size();) {
        const size_t cr = std::min(bytes.find('\r', at), bytes.size());
        text.append(bytes.substr(at, cr - at));
        if (cr == bytes.size()) break;
        text += '\n';
        at = cr + (cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? 2 : 1);
    }
    text.append(PADDING, '\0');
    // A document that came as UTF-16 or with UTF-8's mark is UTF-8 now, whatever its
    // declaration says: both the count and the parse read it so.
    const TiXmlEncoding encoding = recoded ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN;
    if (depth_of(text.c_str(), MAX_XML_NESTING, encoding) > MAX_XML_NESTING)
        ZV_FATAL("Could not load %s. Error='Elements nested deeper than %zu levels'. Exiting.\n", file_name,
                 MAX_XML_NESTING);
    document.Parse(text.c_str(), nullptr, encoding);
    return !document.Error();
}

bool load_xml_document(TiXmlDocument& document, FILE* file, const char* file_name) {
    std::string bytes;
    char buffer[65536];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    const bool read = !ferror(file);
    fclose(file);
    if (!read) {
        document.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    return parse_xml_document(document, bytes, file_name);
}

std::string missing_root_reason(const TiXmlDocument& document, const char* wanted) {
    for (const TiXmlNode* node = document.FirstChild(); node; node = node->NextSibling()) {
        if (const TiXmlElement* element = node->ToElement()) {
            const char* name = element->Value();
            return "the document's element is <" + printable_bytes(name, strlen(name)) + ">, not <" + wanted + ">";
        }
    }
    for (const TiXmlNode* node = document.FirstChild(); node; node = node->NextSibling()) {
        // TinyXML reads "<!DOCTYPE ...>" up to its first '>', which in a DOCTYPE with
        // declarations (<!DOCTYPE x [<!ENTITY ...>]>) ends the first of them; the "]>" left
        // over is text outside every element, where TinyXML stops without an error.
        const TiXmlUnknown* unknown = node->ToUnknown();
        if (unknown && strncmp(unknown->Value(), "!DOCTYPE", 8) == 0 && strchr(unknown->Value(), '['))
            return "TinyXML does not read the declarations between a DOCTYPE's [ and ]: it ends the DOCTYPE at "
                   "their first '>' and reads no element after it";
    }
    return "the document holds no element";
}

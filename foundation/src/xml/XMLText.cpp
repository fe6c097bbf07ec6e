#include "foundation/XMLText.h"

#include "foundation/KUUtils.h"

#include <climits>
#include <exception>
#include <expat.h>
#include <new>
#include <utility>
#include <vector>

namespace kvXML {

// ---- expatpp -----------------------------------------------------------------

expatpp::expatpp() : parser(XML_ParserCreate(nullptr)) {
    if (parser == nullptr)
        throw std::bad_alloc();
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, startElementCallback, endElementCallback);
    XML_SetCharacterDataHandler(parser, charDataCallback);
    XML_SetProcessingInstructionHandler(parser, processingInstructionCallback);
    XML_SetDefaultHandler(parser, defaultHandlerCallback);
    XML_SetUnparsedEntityDeclHandler(parser, unParsedEntityDeclCallback);
    XML_SetNotationDeclHandler(parser, notationDeclCallback);
}

expatpp::~expatpp() {
    XML_ParserFree(parser);
}

int expatpp::XML_Parse(const char* s, int len, int isFinal) {
    const int status = ::XML_Parse(parser, s, len, isFinal);
    RethrowPending();
    return status;
}

// An exception of a handler must not unwind through the parser's C code: it
// stops the parser and is thrown again once XML_Parse has returned.
template <typename F>
void expatpp::Dispatch(void* userData, F call) {
    auto* self = static_cast<expatpp*>(userData);
    try {
        call(self);
    } catch (...) {
        self->pendingException = std::current_exception();
        XML_StopParser(self->parser, XML_FALSE);
    }
}

void expatpp::RethrowPending() {
    if (pendingException)
        std::rethrow_exception(std::exchange(pendingException, nullptr));
}

int expatpp::XML_GetErrorCode() const {
    return ::XML_GetErrorCode(parser);
}

unsigned long expatpp::XML_GetCurrentLineNumber() const {
    return ::XML_GetCurrentLineNumber(parser);
}

int expatpp::skipWhiteSpace(const char* s) {
    int n = 0;
    while (s[n] == ' ' || s[n] == '\t' || s[n] == '\n' || s[n] == '\r')
        ++n;
    return n;
}

void expatpp::startElementCallback(void* userData, const char* name, const char** atts) {
    Dispatch(userData, [&](expatpp* self) { self->startElement(name, atts); });
}

void expatpp::endElementCallback(void* userData, const char* name) {
    Dispatch(userData, [&](expatpp* self) { self->endElement(name); });
}

void expatpp::charDataCallback(void* userData, const char* s, int len) {
    Dispatch(userData, [&](expatpp* self) { self->charData(s, len); });
}

void expatpp::processingInstructionCallback(void* userData, const char* target, const char* data) {
    Dispatch(userData, [&](expatpp* self) { self->processingInstruction(target, data); });
}

void expatpp::defaultHandlerCallback(void* userData, const char* s, int len) {
    Dispatch(userData, [&](expatpp* self) { self->defaultHandler(s, len); });
}

void expatpp::unParsedEntityDeclCallback(void* userData, const char* entityName, const char* base,
                                         const char* systemId, const char* publicId,
                                         const char* notationName) {
    Dispatch(userData, [&](expatpp* self) {
        self->unparsedEntityDecl(entityName, base, systemId, publicId, notationName);
    });
}

void expatpp::notationDeclCallback(void* userData, const char* notationName, const char* base,
                                   const char* systemId, const char* publicId) {
    Dispatch(userData,
             [&](expatpp* self) { self->notationDecl(notationName, base, systemId, publicId); });
}

// ---- CXMLTreeBuilder -----------------------------------------------------------

namespace {

// Blank, tab, line feed, vertical tab, form feed, carriage return; bytes from
// 128 up are never white space.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

CXMLTreeBuilder::CXMLTreeBuilder(CXMLElement& r) : root(r) {
    XML_SetStartElementHandler(parser, startDocumentCallback);
    root.SetError(eXMLElementIncomplete);
}

CXMLTreeBuilder::~CXMLTreeBuilder() {
    CloseOpenElements();
}

// Elements left open by a failed or unfinished build keep no parent link.
void CXMLTreeBuilder::CloseOpenElements() {
    while (current != nullptr) {
        CXMLElement* parent = current->parent;
        current->parent = nullptr;
        current = parent;
    }
}

void CXMLTreeBuilder::SetIdleCallBack(void (*fn)(void*), void* data) {
    idleCallBack = fn;
    idleData = data;
}

// One call of the parser. A parse error, a document nested too deeply, or
// an exception of a building step (memory) ends the build with its status,
// which later calls repeat.
KTErr CXMLTreeBuilder::ParsePiece(const char* s, int len, bool isFinal) {
    if (failure != eNoErr)
        return failure;
    try {
        if (XML_Parse(s, len, isFinal ? 1 : 0) != XML_STATUS_ERROR)
            return eNoErr;
        failure = tooDeep ? eXMLTreeNotValid : eXMLParserFailed;
    } catch (const std::bad_alloc&) {
        failure = eMemNewFailed;
    } catch (...) {
        failure = eXMLParserFailed;
    }
    return failure;
}

KTErr CXMLTreeBuilder::ParseFinalInPieces(const char* data, unsigned long size, unsigned long piece,
                                          bool idle) {
    unsigned long offset = 0;
    do {
        const unsigned long n = size - offset < piece ? size - offset : piece;
        const bool last = offset + n == size;
        if (KTErr err = ParsePiece(data + offset, static_cast<int>(n), last))
            return err;
        offset += n;
        if (idle && idleCallBack != nullptr)
            idleCallBack(idleData);
    } while (offset < size);
    return eNoErr;
}

KTErr CXMLTreeBuilder::BuildFromSingleBuffer(const void* data, unsigned long size) {
    if (data == nullptr || size < 4)
        return eMemNullPointer;
    return ParseFinalInPieces(static_cast<const char*>(data), size, INT_MAX, false);
}

KTErr CXMLTreeBuilder::BuildFromSingleBufferWithIdle(const void* data, unsigned long size) {
    if (data == nullptr && size != 0)
        return eMemNullPointer;
    return ParseFinalInPieces(static_cast<const char*>(data), size, 1024, true);
}

KTErr CXMLTreeBuilder::BuildFromBuffer(const void* data, unsigned long size, bool& done) {
    if (data == nullptr && size != 0)
        return eMemNullPointer;
    const char* bytes = static_cast<const char*>(data);
    unsigned long offset = 0;
    KTErr err = eNoErr;
    do {
        const unsigned long n = size - offset < INT_MAX ? size - offset : INT_MAX;
        err = ParsePiece(bytes + offset, static_cast<int>(n), false);
        offset += n;
    } while (err == eNoErr && offset < size);
    done = buildingDone;
    return err;
}

KTErr CXMLTreeBuilder::Finish() {
    if (failure != eNoErr)
        return failure;
    if (buildingDone)
        return eNoErr;
    const KTErr err = ParsePiece(nullptr, 0, true);
    if (err != eNoErr && err != eXMLParserFailed)
        return err;
    if (buildingDone && err == eNoErr)
        return eNoErr;
    return started ? eXMLElementIncomplete : eXMLParserFailed;
}

void CXMLTreeBuilder::WriteToString(std::string& out) const {
    out.clear();
    (void)WriteElementText(root, out);
}

namespace {

void AddAttributes(CXMLElement::AttribVec& attribs, const char** atts) {
    if (atts == nullptr || atts[0] == nullptr)
        return;
    size_t pairs = 0;
    while (atts[2 * pairs] != nullptr && atts[2 * pairs + 1] != nullptr)
        ++pairs;
    attribs.reserve(attribs.size() + pairs);
    for (size_t i = 0; i < pairs; ++i)
        attribs.emplace_back(atts[2 * i], atts[2 * i + 1]);
}

} // namespace

void CXMLTreeBuilder::startDocumentCallback(void* userData, const char* name, const char** atts) {
    Dispatch(userData, [&](expatpp* self) {
        static_cast<CXMLTreeBuilder*>(self)->startDocument(name, atts);
    });
}

void CXMLTreeBuilder::startDocument(const char* name, const char** atts) {
    root.name = name;
    AddAttributes(root.attribs, atts);
    root.parent = nullptr;
    current = &root;
    started = true;
    XML_SetStartElementHandler(parser, startElementCallback);
}

void CXMLTreeBuilder::startElement(const char* name, const char** atts) {
    if (current == nullptr)
        return;
    if (depth >= kMaxXMLDepth) {
        tooDeep = true;
        XML_StopParser(parser, XML_FALSE);
        return;
    }
    ++depth;
    auto* element = new CXMLElement(name, "");
    AddAttributes(element->attribs, atts);
    element->parent = current;
    current->children.push_back(element);
    current = element;
}

void CXMLTreeBuilder::endElement(const char* /*name*/) {
    if (current == nullptr)
        return;
    CXMLElement* element = current;
    if (depth > 0)
        --depth;
    element->SetError(eNoErr);
    NormalizeText(element->text);
    current = element->parent;
    element->parent = nullptr;
    if (current == nullptr)
        buildingDone = true;
}

void CXMLTreeBuilder::charData(const char* s, int len) {
    if (current == nullptr)
        return;
    const char* end = s + len;
    if (current->text.empty()) {
        while (s != end && IsSpace(*s))
            ++s;
    }
    if (s != end)
        current->text.append(s, end);
}

void CXMLTreeBuilder::NormalizeText(std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsSpace(text[first]))
        ++first;
    while (last > first && IsSpace(text[last - 1]))
        --last;
    if (first != 0 || last != text.size())
        text = text.substr(first, last - first);
    if (text.size() == 6 && text.front() == '\'' && text.back() == '\'')
        text = text.substr(1, 4);
}

// ---- Writer ----------------------------------------------------------------------

namespace {

// Where the text goes. A reader normalises line ends everywhere and turns
// tabs and line feeds in attribute values into blanks, so those are written
// as character references; inside a CDATA section nothing is escaped, and a
// carriage return or "]]>" splits the section.
enum class EscapeFor { text, attribute, cdata };

// Appends `len` bytes escaped for `where`. Bytes that XML cannot carry
// (control characters, bytes that are not UTF-8) become U+FFFD, so that the
// document stays readable.
void AppendEscaped(std::string& out, const char* s, size_t len, EscapeFor where) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    const auto* end = p + len;
    const auto* run = p;
    const auto flush = [&](const unsigned char* upTo) {
        out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(upTo - run));
    };
    while (p != end) {
        const unsigned char c = *p;
        if (c >= 0x80) {
            const size_t n = KUUtf8CharLength(p, end);
            const bool notACharacter = n == 3 && c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE;
            if (n != 0 && !notACharacter) {
                p += n;
                continue;
            }
            flush(p);
            out.append("\xEF\xBF\xBD"); // U+FFFE and U+FFFF as one, other bytes one each
            p += notACharacter ? n : 1;
            run = p;
            continue;
        }
        const char* replacement = nullptr;
        if (c == '\r')
            replacement = where == EscapeFor::cdata ? "]]>&#13;<![CDATA[" : "&#13;";
        else if (c < 0x20 && c != '\t' && c != '\n')
            replacement = "\xEF\xBF\xBD";
        else if (where == EscapeFor::cdata) {
            if (c == ']' && end - p >= 3 && p[1] == ']' && p[2] == '>') {
                // "]]" ends this section, ">" starts the next.
                p += 2;
                flush(p);
                out.append("]]><![CDATA[");
                run = p;
                continue;
            }
        } else if (where == EscapeFor::attribute && (c == '\t' || c == '\n'))
            replacement = c == '\t' ? "&#9;" : "&#10;";
        else if (c == '&')
            replacement = "&amp;";
        else if (c == '<')
            replacement = "&lt;";
        else if (c == '>')
            replacement = "&gt;";
        else if (c == '"')
            replacement = "&quot;";
        else if (c == '\'')
            replacement = "&apos;";
        if (replacement == nullptr) {
            ++p;
            continue;
        }
        flush(p);
        out.append(replacement);
        run = ++p;
    }
    flush(p);
}

// Writes the start tag and the text of `e`; true when a closing tag must
// follow (the element has children or text). `inner` receives the depth of
// the element's children.
bool WriteElementStart(const CXMLElement& e, std::string& out, uint32_t depth, uint32_t& inner) {
    out.append(depth, '\t');
    out.push_back('<');
    out.append(e.name.c_str(), e.name.size());
    for (const KTXMLAttribute& a : e.GetAttribVec()) {
        out.push_back(' ');
        out.append(a.name.c_str(), a.name.size());
        out.append("=\"");
        AppendEscaped(out, a.value.c_str(), a.value.size(), EscapeFor::attribute);
        out.push_back('"');
    }
    const bool hasChildren = !e.children.empty();
    if (!hasChildren && e.text.empty()) {
        out.append("/>\n");
        return false;
    }
    out.push_back('>');
    inner = depth;
    if (hasChildren || e.cdata) {
        out.push_back('\n');
        ++inner;
    }
    if (!e.text.empty()) {
        if (e.cdata) {
            out.append(inner, '\t');
            out.append("<![CDATA[\n");
            out.append(inner, '\t');
            AppendEscaped(out, e.text.data(), e.text.size(), EscapeFor::cdata);
            out.push_back('\n');
            out.append(inner, '\t');
            out.append("]]>\n");
        } else {
            AppendEscaped(out, e.text.data(), e.text.size(), EscapeFor::text);
            if (hasChildren)
                out.push_back('\n');
        }
    }
    return true;
}

void WriteElementEnd(const CXMLElement& e, std::string& out, uint32_t depth, uint32_t inner) {
    if (inner != depth)
        out.append(depth, '\t');
    out.append("</");
    out.append(e.name.c_str(), e.name.size());
    out.append(">\n");
}

// Without recursion, so that a deeply nested tree cannot exhaust the stack.
// False as soon as `out` grows past `limit`.
bool WriteElement(const CXMLElement& root, std::string& out, uint32_t depth, size_t limit) {
    struct Open {
        const CXMLElement* element;
        uint32_t depth;
        uint32_t inner;
        size_t nextChild;
    };
    std::vector<Open> open;
    uint32_t inner = 0;
    if (WriteElementStart(root, out, depth, inner))
        open.push_back({&root, depth, inner, 0});
    while (!open.empty()) {
        if (out.size() > limit)
            return false;
        Open& top = open.back();
        if (top.nextChild < top.element->children.size()) {
            const CXMLElement& child = *top.element->children[top.nextChild++];
            const uint32_t childDepth = top.inner;
            if (WriteElementStart(child, out, childDepth, inner))
                open.push_back({&child, childDepth, inner, 0});
        } else {
            WriteElementEnd(*top.element, out, top.depth, top.inner);
            open.pop_back();
        }
    }
    return out.size() <= limit;
}

// True when the text of the tree is sure to be longer than `limit`: counts
// the indentation, tags and raw texts (escaping only adds) until the count
// passes the limit, before anything is written.
bool TextExceeds(const CXMLElement& root, uint32_t depth, size_t limit) {
    std::vector<std::pair<const CXMLElement*, size_t>> pending{{&root, depth}};
    size_t total = 0;
    while (!pending.empty()) {
        const auto [e, d] = pending.back();
        pending.pop_back();
        total += d + 2 * e->name.size() + e->text.size() + 4;
        if (total > limit)
            return true;
        for (const CXMLElement* child : e->children)
            pending.emplace_back(child, d + 1);
    }
    return false;
}

} // namespace

KTErr WriteElementText(const CXMLElement& element, std::string& out) {
    const size_t before = out.size();
    bool whole = false;
    try {
        if (TextExceeds(element, CXMLElement::level, kMaxXMLTextBytes))
            return eMemNewFailed;
        // The depth travels as an argument, so that the shared counter is
        // neither raised by an interrupted write nor changed under another
        // thread.
        whole = WriteElement(element, out, CXMLElement::level, before + kMaxXMLTextBytes);
    } catch (const std::bad_alloc&) {
        whole = false;
    }
    if (whole)
        return eNoErr;
    out.resize(before);
    out.shrink_to_fit();
    return eMemNewFailed;
}

KTErr WriteAllText(const std::string& text, const TextWriteFunc& write) {
    const char* data = text.data();
    unsigned long left = text.size();
    while (left > 0) {
        unsigned long written = 0;
        const KTErr err = write(data, left, written);
        if (err != eNoErr)
            return err;
        if (written == 0 || written > left)
            return eFMWriteFailed;
        data += written;
        left -= written;
    }
    return eNoErr;
}

} // namespace kvXML

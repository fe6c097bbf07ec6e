// The text form of XML element trees: the expat wrapper, the tree builder
// (fed in one call or in pieces) and the writer.
#pragma once

#include "foundation/KTErr.h"
#include "foundation/XMLElement.h"

#include <exception>
#include <functional>
#include <string>

struct XML_ParserStruct;

namespace kvXML {

// One expat parser whose events arrive as virtual calls.
class expatpp {
public:
    expatpp();
    virtual ~expatpp();
    expatpp(const expatpp&) = delete;
    expatpp& operator=(const expatpp&) = delete;

    // `atts` is a null-terminated list of name, value, name, value...
    virtual void startElement(const char* name, const char** atts) {}
    virtual void endElement(const char* name) {}
    // A piece of character data, not terminated.
    virtual void charData(const char* s, int len) {}
    virtual void processingInstruction(const char* target, const char* data) {}
    virtual void defaultHandler(const char* s, int len) {}
    virtual void unparsedEntityDecl(const char* entityName, const char* base, const char* systemId,
                                    const char* publicId, const char* notationName) {}
    virtual void notationDecl(const char* notationName, const char* base, const char* systemId,
                              const char* publicId) {}

    // expat's functions of the same names on this object's parser. The error
    // code is expat's enum XML_Error. An exception thrown by a handler stops
    // the parse and leaves XML_Parse.
    int XML_Parse(const char* s, int len, int isFinal);
    int XML_GetErrorCode() const;
    unsigned long XML_GetCurrentLineNumber() const;
    operator void*() const { return parser; }

    // The number of leading blanks, tabs, line feeds and carriage returns.
    static int skipWhiteSpace(const char* s);

protected:
    static void startElementCallback(void* userData, const char* name, const char** atts);
    static void endElementCallback(void* userData, const char* name);
    static void charDataCallback(void* userData, const char* s, int len);
    static void processingInstructionCallback(void* userData, const char* target, const char* data);
    static void defaultHandlerCallback(void* userData, const char* s, int len);
    static void unParsedEntityDeclCallback(void* userData, const char* entityName, const char* base,
                                           const char* systemId, const char* publicId,
                                           const char* notationName);
    static void notationDeclCallback(void* userData, const char* notationName, const char* base,
                                     const char* systemId, const char* publicId);

    template <typename F>
    static void Dispatch(void* userData, F call);
    void RethrowPending();

    XML_ParserStruct* parser;
    std::exception_ptr pendingException;
};

// Deepest nesting of elements below a document's root that a builder
// accepts; a deeper document is refused with eXMLTreeNotValid (the tree keeps
// what was built). No file of the system comes near it, and the writer's
// indentation of a deeper tree would grow with the square of its depth.
inline constexpr unsigned kMaxXMLDepth = 4096;

// Largest text the writer makes (WriteElementText): a tree whose text would
// be longer is refused with eMemNewFailed before any of it is made.
inline constexpr size_t kMaxXMLTextBytes = size_t(128) << 20;

// Builds a tree into a root element the caller owns (and passes empty). The
// root is eXMLElementIncomplete until the end tag of the document element.
// No exception leaves a build: running out of memory gives eMemNewFailed.
//
// One call: BuildFromSingleBuffer. In pieces: BuildFromBuffer for each piece
// (stop once `done` is true), then Finish() at the end of the input, which
// reports a document that ended early as a failure.
class CXMLTreeBuilder : public expatpp {
public:
    explicit CXMLTreeBuilder(CXMLElement& root);
    ~CXMLTreeBuilder() override;

    void SetIdleCallBack(void (*fn)(void*), void* data);

    // The whole document in one final piece: 0; eMemNullPointer for a null
    // pointer or fewer than 4 bytes; eXMLParserFailed on a parse error
    // (including a document that ends early).
    KTErr BuildFromSingleBuffer(const void* data, unsigned long size);
    // The same in pieces of 1024 bytes, calling the idle callback after each.
    KTErr BuildFromSingleBufferWithIdle(const void* data, unsigned long size);
    // One more piece of the document (not final): 0 or eXMLParserFailed;
    // `done` tells whether the document element has ended.
    KTErr BuildFromBuffer(const void* data, unsigned long size, bool& done);
    // The input has ended: 0 when the document element is complete;
    // eXMLParserFailed after a parse error or when no document element
    // started; eXMLElementIncomplete when it started but did not end.
    KTErr Finish();
    bool IsBuildingDone() const { return buildingDone; }

    // `out` becomes the text of the root; it stays empty when the text cannot
    // be made (WriteElementText tells why). (To write a tree that was not
    // built here, call WriteElementText: a builder marks its root incomplete.)
    void WriteToString(std::string& out) const;

    // Building steps, public so that a caller can drive a builder itself.
    void startDocument(const char* name, const char** atts);
    void startElement(const char* name, const char** atts) override;
    void endElement(const char* name) override;
    void charData(const char* s, int len) override;
    // Trims white space at both ends, then removes the quotes of a text of
    // exactly six characters that starts and ends with a single quote.
    static void NormalizeText(std::string& text);
    static void startDocumentCallback(void* userData, const char* name, const char** atts);

private:
    void CloseOpenElements();
    KTErr ParsePiece(const char* s, int len, bool isFinal);
    KTErr ParseFinalInPieces(const char* data, unsigned long size, unsigned long piece, bool idle);

    CXMLElement& root;
    CXMLElement* current = nullptr;
    void (*idleCallBack)(void*) = nullptr;
    void* idleData = nullptr;
    bool buildingDone = false;
    bool started = false;
    bool tooDeep = false;
    unsigned depth = 0;     // elements open below the root
    KTErr failure = eNoErr; // the status that ended the build
};

// Appends the text of `element` and its subtree: tab indentation starting at
// CXMLElement::level, one line feed after every line, no declaration. A text
// longer than kMaxXMLTextBytes, or one there is no memory for, gives
// eMemNewFailed and leaves `out` as it was.
KTErr WriteElementText(const CXMLElement& element, std::string& out);

// A write function of an output: writes up to `count` bytes, stores how many
// it wrote in `written` and returns a status.
using TextWriteFunc =
    std::function<KTErr(const char* data, unsigned long count, unsigned long& written)>;
// Writes all of `text` through `write`, calling it again for the bytes not yet
// written. The first failing call's status ends it; a call that writes
// nothing while reporting success gives eFMWriteFailed.
KTErr WriteAllText(const std::string& text, const TextWriteFunc& write);

} // namespace kvXML

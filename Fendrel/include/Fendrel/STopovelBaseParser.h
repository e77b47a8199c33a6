// Base of every parser/builder class of the library: owns one DOM document (shared
// with its copies) whose root element is the element that the class handles.
#pragma once

#include "Fendrel/NxTrace.h"
#include "Fendrel/NxTypes.h"
#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include <initializer_list>
#include <string>

class CSTopovelBaseParser {
public:
    CSTopovelBaseParser();
    CSTopovelBaseParser(const CSTopovelBaseParser& other);
    CSTopovelBaseParser& operator=(const CSTopovelBaseParser& other);
    virtual ~CSTopovelBaseParser();

    virtual NX_RC CreateNew(const char* id, const char* name) = 0;
    virtual NX_RC SetID(const char* id);
    virtual NX_RC GetID(SHString& id);
    virtual NX_RC SetName(const char* name);
    virtual NX_RC GetName(SHString& name);
    virtual NX_RC Parse(const char* xml, bool validate);
    virtual NX_RC GetXML(SHString& xml);
    virtual bool IsNULL();

    void SetTopovelVersion(const char* dtdFileName, const char* version);
    void SetTopovelDtdPath(const char* dir);

protected:
    using DOMDocument = xercesc::DOMDocument;
    using DOMElement = xercesc::DOMElement;

    // An attribute to write and one to read.
    struct AttrIn {
        const char* name;
        const char* value;
    };
    struct AttrOut {
        const char* name;
        SHString* value;
    };

    NX_RC GetDocAttribute(const char* attr, SHString& value);
    // The first element of that tag anywhere in the document.
    bool bGetUniqueElement(const char* tag, DOMElement** out);

    // Helpers of the element parsers.
    DOMDocument* Doc() const { return m_pDocument.get(); }
    DOMElement* Root() const;
    // First element of that tag anywhere in the document, or null; no trace.
    DOMElement* FindElement(const char* tag) const;
    // Replaces the document by one holding only the root element (element mode).
    bool CreateElementDocument(const char* rootTag, const char* id, const char* name);
    // A new element of this document with the attributes set in order.
    DOMElement* NewElement(const char* tag, std::initializer_list<AttrIn> attributes = {});
    // The same, appended as the parent's last child.
    DOMElement* AppendElement(DOMElement* parent, const char* tag,
                              std::initializer_list<AttrIn> attributes = {});
    // Detaches the element from its parent and frees it.
    static void RemoveElement(DOMElement* element);
    // Detaches the child from `parent` and frees it; throws (a DOM exception) when it is
    // not a child of `parent`.
    static void RemoveChildOf(xercesc::DOMNode* parent, xercesc::DOMNode* child);
    // Removes the first element of that tag in the document from the root; false when
    // there is none. Throws when that element is not a child of the root.
    bool RemoveRootChild(const char* tag);
    // Removes, one after the other, every element of that tag in the document from
    // `parent`; throws at the first that is not a child of `parent`.
    void RemoveEveryElement(DOMElement* parent, const char* tag);
    // Throws std::invalid_argument when a value cannot stand in XML (IsXmlText).
    static void CheckAttributes(std::initializer_list<AttrIn> attributes);
    // Writes all the attributes, or none when CheckAttributes refuses them.
    static void WriteAttributes(DOMElement* element, std::initializer_list<AttrIn> attributes);
    // Assigns each attribute's text (empty when missing) to its string.
    static void ReadAttributes(const DOMElement* element,
                               std::initializer_list<AttrOut> attributes);

    // Runs `body` (returning NX_RC or bool success) on the document. Without a document
    // it traces `noDocument` (unless null) and gives 1; an exception traces `failure`
    // (severity 3) and gives 1.
    template <class Body>
    NX_RC DomCall(const fendrel::MethodTrace& trace, const char* failure, Body&& body,
                  const char* noDocument = "No Document created .") {
        if (!m_pDocument) {
            if (noDocument)
                trace.Error(noDocument);
            return NX_FAILURE;
        }
        try {
            return ToResult(body());
        } catch (...) {
            if (failure)
                trace.Error(failure);
            return NX_FAILURE;
        }
    }

    // CreateNew of an element parser: the document replaced by one holding only the root
    // element; on failure `failure` is traced and the object has no document.
    NX_RC CreateNewElement(const fendrel::MethodTrace& trace, const char* rootTag, const char* id,
                           const char* name, const char* failure);

    // Reads the attributes of the first element of that tag in the document; 1 without
    // a trace when there is none.
    NX_RC GetElementAttributes(const fendrel::MethodTrace& trace, const char* failure,
                               const char* tag, std::initializer_list<AttrOut> attributes,
                               const char* noDocument = "No Document created .");
    // Finds the element of that tag or creates it (appended to the root with an empty
    // order, placed among the root's children by the order otherwise; see
    // GetOrCreateElement) and writes the attributes.
    NX_RC SetElementAttributes(const fendrel::MethodTrace& trace, const char* failure,
                               const char* tag, const orvane::xml::TagOrder& order,
                               std::initializer_list<AttrIn> attributes,
                               const char* noDocument = "No Document created .");

    // Root attribute accessors in the shape of DomCall.
    NX_RC SetRootAttributes(const fendrel::MethodTrace& trace, const char* failure,
                            std::initializer_list<AttrIn> attributes,
                            const char* noDocument = "No Document created .");
    NX_RC GetRootAttributes(const fendrel::MethodTrace& trace, const char* failure,
                            std::initializer_list<AttrOut> attributes,
                            const char* noDocument = "No Document created .");

    // The number of element children of the first element of that tag. Without a
    // document: traced "No Document created .", count 0, 1. Without the element: count
    // 0 and 0 when `missingIsEmpty`, else 1 with the count unchanged.
    NX_RC CountChildrenOf(const fendrel::MethodTrace& trace, const char* failure, const char* tag,
                          bool missingIsEmpty, unsigned& count);
    // The element written as text into `xml`; false when nothing could be written.
    static bool WriteElementText(const DOMElement* element, SHString& xml);
    // Writes the document with GetXML and parses that text into a scratch document with
    // validation against the DTD of this object's folder; the document stays as it is.
    // 1 when there is no document, the text cannot be written or does not validate.
    NX_RC ValidateWrittenDocument();

    // True when none of the texts is null and each can stand in XML (IsXmlText).
    static bool Given(std::initializer_list<const char*> texts);
    // Elements of that tag anywhere in the document (root included), in document order:
    // how many there are, and the one at `index` (null when there is none).
    unsigned CountElements(const char* tag) const;
    DOMElement* FindElementAt(const char* tag, unsigned index) const;

    orvane::xml::XmlDocument m_pDocument;
    std::string m_sDtdFileName;
    std::string m_sVersion;
    std::string m_sDtdPath;

private:
    static NX_RC ToResult(NX_RC rc) { return rc; }
    static NX_RC ToResult(bool ok) { return ok ? NX_SUCCESS : NX_FAILURE; }

    NX_RC SetRootAttribute(const char* attr, const char* value, const char* method,
                           const char* failure);
    NX_RC GetRootAttribute(const char* attr, SHString& value, const char* method,
                           const char* failure);
};

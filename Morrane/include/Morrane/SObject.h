// A base class that gives an object a name and a class name.
#pragma once

#include <string>

class CSObject {
public:
    CSObject() : m_class("CSObject") {}
    // A null text leaves that string empty.
    CSObject(const char* name, const char* className);
    CSObject(const CSObject&) = default;
    CSObject& operator=(const CSObject&) = default;
    virtual ~CSObject();

    void SetName(const char* name) { m_name = name ? name : ""; }
    void SetClass(const char* className) { m_class = className ? className : ""; }
    const std::string& GetName() const { return m_name; }
    const std::string& GetClass() const { return m_class; }

private:
    std::string m_name;
    std::string m_class;
};

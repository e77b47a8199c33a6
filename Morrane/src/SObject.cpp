#include "Morrane/SObject.h"

CSObject::CSObject(const char* name, const char* className)
    : m_name(name ? name : ""), m_class(className ? className : "") {}

CSObject::~CSObject() = default;

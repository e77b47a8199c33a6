// Address range lists of an element: the ranges whose traffic it includes
// (INCLUDE_IPS) and excludes (EXCLUDE_IPS), each an IP_RANGE with from and to
// address, protocol and port. Only subclasses that build their element are made.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSIpRangeParser : public CSTopovelBaseParser {
public:
    CSIpRangeParser();
    CSIpRangeParser(const CSIpRangeParser& other);
    CSIpRangeParser& operator=(const CSIpRangeParser& other);
    ~CSIpRangeParser() override;

    // 0 when there is no list.
    NX_RC GetIncludeIPRangeCount(unsigned& count);
    NX_RC GetExcludeIPRangeCount(unsigned& count);
    // Appends a range, creating the list as the root's last child when it is missing.
    NX_RC AddIncludeIPRange(const char* from, const char* to, unsigned short protocol,
                            unsigned short port);
    NX_RC AddExcludeIPRange(const char* from, const char* to, unsigned short protocol,
                            unsigned short port);
    // Without a list: success, outputs untouched. An index past the last range fails.
    NX_RC GetIncludeIPRange(unsigned index, SHString& from, SHString& to, unsigned short& protocol,
                            unsigned short& port);
    NX_RC GetExcludeIPRange(unsigned index, SHString& from, SHString& to, unsigned short& protocol,
                            unsigned short& port);
    // Rewrites the range at `index`; fails when there is no such range (or no list).
    NX_RC SetIncludeIPRange(unsigned index, const char* from, const char* to,
                            unsigned short protocol, unsigned short port);
    NX_RC SetExcludeIPRange(unsigned index, const char* from, const char* to,
                            unsigned short protocol, unsigned short port);
    // An index past the last range changes nothing. An emptied include list stays; an
    // emptied exclude list is removed.
    NX_RC RemoveIncludeIPRange(unsigned index);
    NX_RC RemoveExcludeIPRange(unsigned index);

protected:
    // Removes EXCLUDE_IPS when it has no child nodes left.
    NX_RC RemoveExcludeIPs();

private:
    NX_RC RangeCount(const char* method, const char* list, unsigned& count);
    NX_RC AddRange(const char* method, const char* list, const char* from, const char* to,
                   unsigned short protocol, unsigned short port);
    NX_RC GetRange(const char* method, const char* list, const char* failure, unsigned index,
                   SHString& from, SHString& to, unsigned short& protocol, unsigned short& port);
    NX_RC SetRange(const char* method, const char* list, const char* failure, unsigned index,
                   const char* from, const char* to, unsigned short protocol, unsigned short port);
    NX_RC RemoveRange(const char* method, const char* list, unsigned index);
};

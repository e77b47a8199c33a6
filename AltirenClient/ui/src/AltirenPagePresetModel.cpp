#include "AltirenUi/AltirenPagePresetModel.h"

#include "AltirenClient/AltirenProxy.h"

#include <Morrane/STrace.h>
#include <OrvaneXercesUtils/OrvaneXercesUtils.h>

#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kClass = "CAltirenPagePreset";

#define PRESET_TRACE(severity, message, method)                                                    \
    CSTrace::instance()->Trace((severity), (message), kClass, (method), __FILE__, __LINE__)

// A value cut to a whole number as a label shows it, within the range of the type (a
// server's value of any size must not overflow the cut).
long long Cut(double value) {
    if (!(value > -9.0e18))
        return std::isnan(value) ? 0 : LLONG_MIN;
    if (value >= 9.0e18)
        return LLONG_MAX;
    return static_cast<long long>(value);
}

std::string Print(const char* format, double value) {
    char text[64] = {0};
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int KindOfType(const std::string& type) {
    if (type == "LATENCY")
        return CAltirenPagePresetModel::kLatency;
    if (type == "PACKETLOSS")
        return CAltirenPagePresetModel::kLoss;
    if (type == "BANDWIDTH")
        return CAltirenPagePresetModel::kBandwidth;
    return -1;
}

} // namespace

CAltirenPagePresetModel::PresetFetcher CAltirenPagePresetModel::ServerFetcher() {
    return [](std::string& reply) {
        CAltirenProxy proxy;
        return proxy.GetAltirenResponse(reply, GET_PRESET_VALUES) != 0;
    };
}

CAltirenPagePresetModel::CAltirenPagePresetModel(PresetFetcher fetcher, bool fetchNow)
    : m_fetcher(std::move(fetcher)) {
    // "No effect" of the bandwidth is no limit, whatever the server's reply holds.
    m_presets[kBandwidth][0] = kUnrestricted;
    if (fetchNow)
        GetPresetsFromServer();
}

bool CAltirenPagePresetModel::GetPresetsFromServer() {
    std::string reply;
    const bool fetched = m_fetcher && m_fetcher(reply);
    return TakeReply(fetched, reply);
}

bool CAltirenPagePresetModel::TakeReply(bool fetched, const std::string& reply) {
    const char* method = "GetPresetsFromServer";
    if (!fetched) {
        PRESET_TRACE(CSTrace::eError, "Failed to get response from AltirenServer", method);
        return m_bPresetsAvailable;
    }
    if (reply.empty()) {
        PRESET_TRACE(CSTrace::eError, "Got empty reply from AltirenServer", method);
        return m_bPresetsAvailable;
    }
    m_bPresetsAvailable = ParsePresets(reply);
    if (!m_bPresetsAvailable)
        PRESET_TRACE(CSTrace::eError, "The reply of AltirenServer holds no presets", method);
    return m_bPresetsAvailable;
}

bool CAltirenPagePresetModel::ParsePresets(const std::string& reply) {
    using namespace orvane::xml;
    // The parser library is set up by the client's start-up.
    if (!xercesc::XMLPlatformUtils::fgMemoryManager)
        return false;
    XmlDocument document;
    if (!ParseFromMemory(reply.c_str(), document, false, nullptr, nullptr))
        return false;
    Slots slots = m_presets;
    // Values read per kind: presets are five of each, or none.
    std::array<XMLSize_t, kKinds> read{};
    try {
        const DOMElement* root = document->getDocumentElement();
        if (!root)
            return false;
        for (const DOMElement* type = root->getFirstElementChild(); type;
             type = type->getNextElementSibling()) {
            const int kind = KindOfType(GetAttr(type, "TYPE"));
            if (kind < 0)
                continue;
            if (kind == kBandwidth)
                slots[kind][0] = kUnrestricted;
            const xercesc::DOMNodeList* values = type->getElementsByTagName(ToX("PV").c_str());
            const XMLSize_t count = values ? values->getLength() : 0;
            for (XMLSize_t i = 0; i < count && i + 1 < kSlots; ++i) {
                const auto* pv = static_cast<const DOMElement*>(values->item(i));
                const double value = TextToDouble(GetAttr(pv, "VALUE").c_str());
                slots[kind][i + 1] = std::isfinite(value) ? value : 0.0;
            }
            read[kind] = std::max(read[kind], count);
        }
    } catch (...) {
        return false;
    }
    for (XMLSize_t count : read)
        if (count + 1 < kSlots)
            return false;
    m_presets = slots;
    return true;
}

void CAltirenPagePresetModel::Reset() {
    if (!m_bPresetsAvailable)
        GetPresetsFromServer();
    ResetValues();
}

void CAltirenPagePresetModel::ResetValues() {
    m_dBandwidth = kUnrestricted;
    m_dLatency = 0.0;
    m_dLoss = 0.0;
}

int CAltirenPagePresetModel::Snap(int position) {
    if (position <= 0)
        return 0;
    if (position >= kMaxPosition)
        return kMaxPosition;
    const int remainder = position % kStep;
    return remainder >= kStep / 2 ? position - remainder + kStep : position - remainder;
}

int CAltirenPagePresetModel::OnSliderReleased(Kind kind, int position) {
    const int snapped = Snap(position);
    const double value = m_presets[kind][snapped / kStep];
    switch (kind) {
    case kLoss:
        m_dLoss = value;
        break;
    case kLatency:
        m_dLatency = value;
        break;
    case kBandwidth:
        m_dBandwidth = value;
        break;
    }
    return snapped;
}

std::string CAltirenPagePresetModel::ValueLabel(Kind kind) const {
    switch (kind) {
    case kLoss:
        return LossLabel(m_dLoss);
    case kLatency:
        return LatencyLabel(m_dLatency);
    case kBandwidth:
        return BandwidthLabel(m_dBandwidth);
    }
    return std::string();
}

std::string CAltirenPagePresetModel::LossLabel(double loss) {
    return Print(Cut(loss * 10) % 10 != 0 ? "%.1f %%" : "%.f %%", loss);
}

std::string CAltirenPagePresetModel::LatencyLabel(double latency) {
    long long ms = Cut(latency);
    if (ms > INT_MAX)
        ms = INT_MAX;
    if (ms < INT_MIN)
        ms = INT_MIN;
    char text[32] = {0};
    std::snprintf(text, sizeof text, "%d ms", static_cast<int>(ms));
    return text;
}

std::string CAltirenPagePresetModel::BandwidthLabel(double bandwidth) {
    if (bandwidth == kUnrestricted)
        return "Unrestricted";
    return Print(Cut(bandwidth) % 10 != 0 ? "%.1f Kbps" : "%.f Kbps", bandwidth / 10);
}

#include "Fendrel/SDataBlockParser.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSDataBlockParser";
const char kFile[] = "SDataBlockParser";
const char kData[] = "LATENCY_AND_LOSS_DATA";
const char kDetails[] = "RECORDING_DETAILS";

bool is_blank(char c) {
    return c == '\t' || c == '\r' || c == '\n' || c == ' ';
}

const char* text_of(const SHString& value) {
    return const_cast<SHString&>(value).GetString();
}

// The float nearest to the value; beyond the range of float the infinity of its sign
// (a plain conversion of such a value is undefined).
float to_float(double value) {
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

// Samples whose text reads back: the reader takes no sign and at most 39 digits and
// points, so a latency must not be negative and a loss ("%.2f") not negative, finite
// and below 10^36.
bool readable_loss(float loss) {
    return !std::signbit(loss) && std::isfinite(loss) && loss < 1e36f;
}

bool samples_readable(const std::vector<int>& latency, const std::vector<float>& loss) {
    return std::all_of(latency.begin(), latency.end(), [](int value) { return value >= 0; }) &&
           std::all_of(loss.begin(), loss.end(), readable_loss);
}

} // namespace

#define BLOCK_TRACE MethodTrace trace(kClass, __func__, kFile)

CSDataBlockParser::CSDataBlockParser() = default;

CSDataBlockParser::CSDataBlockParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSDataBlockParser::CSDataBlockParser(const CSDataBlockParser& other) = default;

CSDataBlockParser& CSDataBlockParser::operator=(const CSDataBlockParser& other) = default;

CSDataBlockParser::~CSDataBlockParser() {
    ClearBuffers();
}

void CSDataBlockParser::ClearBuffers() {
    m_vLatency.clear();
    m_vLoss.clear();
}

// ---------------------------------------------------------------- document

NX_RC CSDataBlockParser::CreateNew(const char* id, const char* name) {
    return CreateNew(id, name, nullptr);
}

NX_RC CSDataBlockParser::CreateNew(const char* id, const char* name, const char* sampleInterval) {
    BLOCK_TRACE;
    ClearBuffers();
    NX_RC rc = CreateNewElement(trace, "DATA_BLOCK", id, name, "Fail to create DATA_BLOCK");
    if (rc != NX_SUCCESS || !sampleInterval)
        return rc;
    return SetSampleInterval(sampleInterval);
}

NX_RC CSDataBlockParser::Parse(const char* xml, bool validate) {
    BLOCK_TRACE;
    ClearBuffers();
    try {
        char* cut = nullptr;
        int length = InitRawRecordedData(xml, &cut, true);
        std::unique_ptr<char, decltype(&std::free)> holder(cut, &std::free);
        NX_RC rc = NX_FAILURE;
        if (length >= 0)
            rc = CSTopovelBaseParser::Parse(length == 0 ? xml : cut, validate);
        if (rc != NX_SUCCESS) {
            // Neither the previous block's document nor half of this one's samples stay.
            m_pDocument.reset();
            ClearBuffers();
        }
        return rc;
    } catch (...) {
        trace.Error("Unknown exception");
        m_pDocument.reset();
        ClearBuffers();
        return NX_FAILURE;
    }
}

NX_RC CSDataBlockParser::GetXML(SHString& xml) {
    BLOCK_TRACE;
    if (!m_vLoss.empty() && m_vLoss.size() != m_vLatency.size()) {
        trace.Error("Failed to write samples: latency and loss counts differ");
        return NX_FAILURE;
    }
    if (!samples_readable(m_vLatency, m_vLoss)) {
        trace.Error("Failed to write samples: a sample cannot be written as text");
        return NX_FAILURE;
    }
    if (!m_vLatency.empty() && m_pDocument && !FindElement(kData)) {
        trace.Error("Failed to write samples: no LATENCY_AND_LOSS_DATA element (no sample "
                    "interval)");
        return NX_FAILURE;
    }
    NX_RC rc = CSTopovelBaseParser::GetXML(xml);
    if (rc != NX_SUCCESS)
        return rc;
    char* joined = nullptr;
    if (InitRawRecordedData(xml.GetString(), &joined, false) > 0)
        xml.Attach(joined);
    else
        std::free(joined);
    return rc;
}

NX_RC CSDataBlockParser::SetName(const char* name) {
    MethodTrace trace(kClass, "SetName", kFile, false);
    if (m_pDocument && !name)
        return NX_FAILURE;
    return DomCall(
        trace, nullptr,
        [&] {
            DOMElement* block = FindElement("DATA_BLOCK");
            if (block)
                WriteAttributes(block, {{"NAME", name}});
            return block != nullptr;
        },
        nullptr);
}

NX_RC CSDataBlockParser::GetName(SHString& name) {
    MethodTrace trace(kClass, "GetName", kFile, false);
    return GetElementAttributes(trace, nullptr, "DATA_BLOCK", {{"NAME", &name}}, nullptr);
}

const void* CSDataBlockParser::GetDataBlocDoc() {
    return m_pDocument.get();
}

// ---------------------------------------------------------------- interval and details

NX_RC CSDataBlockParser::GetSamplesInterval(SHString& interval) {
    BLOCK_TRACE;
    return GetElementAttributes(trace, "Failed to get samples interval", kData,
                                {{"SAMPLE_INTERVAL", &interval}});
}

NX_RC CSDataBlockParser::SetSampleInterval(const char* interval) {
    BLOCK_TRACE;
    if (m_pDocument && !interval)
        return NX_FAILURE;
    return SetElementAttributes(trace, "Failed to create LATENCY_AND_LOSS_DATA element", kData, {},
                                {{"SAMPLE_INTERVAL", interval}});
}

NX_RC CSDataBlockParser::GetSampleIntervalLength(unsigned int& length) {
    BLOCK_TRACE;
    return DomCall(trace, "Failed to get sample interval length", [&] {
        DOMElement* details = FindElement(kDetails);
        if (!details)
            return false;
        long long value = xml::TextToInt(xml::GetAttr(details, "IMPORTED_INTERVAL_LENGTH").c_str());
        length = value < 0 ? 0 : static_cast<unsigned int>(value);
        return true;
    });
}

NX_RC CSDataBlockParser::GetRecordingDetails(_RECORDING_DETAILS& d) {
    BLOCK_TRACE;
    return GetElementAttributes(trace, "Failed to get recording details", kDetails,
                                {{"SAMPLE_INTERVAL", &d.SAMPLE_INTERVAL},
                                 {"RECORDING_NAME", &d.RECORDING_NAME},
                                 {"RECORDING_HOST", &d.RECORDING_HOST},
                                 {"SOURCE_IP", &d.SOURCE_IP},
                                 {"DESTINATION_IP", &d.DESTINATION_IP},
                                 {"PACKET_LEN", &d.PACKET_LEN},
                                 {"ORIGIN", &d.ORIGIN},
                                 {"ORIGIN_VERSION", &d.ORIGIN_VERSION},
                                 {"CREATE_DATE", &d.CREATE_DATE},
                                 {"IMPORTED_INTERVAL_START_TIME", &d.IMPORTED_INTERVAL_START_TIME},
                                 {"IMPORTED_INTERVAL_LENGTH", &d.IMPORTED_INTERVAL_LENGTH},
                                 {"DESCRIPTION", &d.DESCRIPTION}});
}

NX_RC CSDataBlockParser::SetRecordingDetails(const _RECORDING_DETAILS& d) {
    MethodTrace trace(kClass, "setRecordingDetails", kFile);
    return DomCall(trace, "Failed to set recording details", [&] {
        std::initializer_list<AttrIn> attributes = {
            {"SAMPLE_INTERVAL", text_of(d.SAMPLE_INTERVAL)},
            {"RECORDING_NAME", text_of(d.RECORDING_NAME)},
            {"RECORDING_HOST", text_of(d.RECORDING_HOST)},
            {"SOURCE_IP", text_of(d.SOURCE_IP)},
            {"DESTINATION_IP", text_of(d.DESTINATION_IP)},
            {"PACKET_LEN", text_of(d.PACKET_LEN)},
            {"ORIGIN", text_of(d.ORIGIN)},
            {"ORIGIN_VERSION", text_of(d.ORIGIN_VERSION)},
            {"CREATE_DATE", text_of(d.CREATE_DATE)},
            {"IMPORTED_INTERVAL_START_TIME", text_of(d.IMPORTED_INTERVAL_START_TIME)},
            {"IMPORTED_INTERVAL_LENGTH", text_of(d.IMPORTED_INTERVAL_LENGTH)},
            {"DESCRIPTION", text_of(d.DESCRIPTION)}};
        CheckAttributes(attributes);
        DOMElement* details = FindElement(kDetails);
        if (!details) {
            // Before the root's first child; appended when it has none.
            DOMElement* root = Root();
            details = NewElement(kDetails);
            root->insertBefore(details, root->getFirstChild());
        }
        WriteAttributes(details, attributes);
        return NX_SUCCESS;
    });
}

// ---------------------------------------------------------------- samples

NX_RC CSDataBlockParser::GetSamplesCount(unsigned int& count) {
    BLOCK_TRACE;
    return DomCall(trace, nullptr, [&] {
        count = static_cast<unsigned int>(m_vLatency.size());
        return NX_SUCCESS;
    });
}

NX_RC CSDataBlockParser::GetSampleLatency(unsigned int index, SHString& value) {
    BLOCK_TRACE;
    return DomCall(trace, nullptr, [&] {
        if (index >= m_vLatency.size()) {
            trace.Info("No data or elligal index");
            return false;
        }
        value.Assign(xml::IntToText(m_vLatency[index]).c_str());
        return true;
    });
}

NX_RC CSDataBlockParser::GetSampleLoss(unsigned int index, SHString& value) {
    BLOCK_TRACE;
    return DomCall(trace, nullptr, [&] {
        if (index >= m_vLoss.size()) {
            trace.Info("No data or elligal index");
            return false;
        }
        value.Assign(xml::DoubleToText(m_vLoss[index], 2).c_str());
        return true;
    });
}

NX_RC CSDataBlockParser::GetSampleLatencyArray(unsigned int size, int* const out) {
    BLOCK_TRACE;
    return DomCall(trace, "Failed to get latences array", [&] {
        if (!out && size > 0)
            return false;
        std::copy_n(m_vLatency.begin(), std::min<size_t>(size, m_vLatency.size()), out);
        return true;
    });
}

NX_RC CSDataBlockParser::GetSampleLossArray(unsigned int size, float* const out) {
    BLOCK_TRACE;
    return DomCall(trace, "Failed to get losses array", [&] {
        if (!out && size > 0)
            return false;
        std::copy_n(m_vLoss.begin(), std::min<size_t>(size, m_vLoss.size()), out);
        return true;
    });
}

NX_RC CSDataBlockParser::AddSample(const char* text, eSampleType type) {
    BLOCK_TRACE;
    return DomCall(trace, "Failed to add sample", [&] {
        if (!text)
            return false;
        if (type == SAMPLE_LATENCY)
            m_vLatency.push_back(static_cast<int>(xml::TextToInt(text)));
        else
            m_vLoss.push_back(to_float(xml::TextToDouble(text)));
        return true;
    });
}

NX_RC CSDataBlockParser::AddSamples(unsigned int latency, float loss) {
    BLOCK_TRACE;
    return DomCall(trace, "Failed to add samples", [&] {
        // Beyond the range of the samples the largest latency, not a negative one.
        m_vLatency.push_back(latency > INT_MAX ? INT_MAX : static_cast<int>(latency));
        m_vLoss.push_back(loss);
        return NX_SUCCESS;
    });
}

// ---------------------------------------------------------------- sample text

bool CSDataBlockParser::AddToBuffer(char** buffer, long& length, const char* data, long size) {
    if (!buffer || size < 0 || (size > 0 && !data))
        return false;
    char* grown = static_cast<char*>(std::realloc(*buffer, static_cast<size_t>(length + size + 1)));
    if (!grown)
        return false;
    if (size > 0)
        std::memcpy(grown + length, data, static_cast<size_t>(size));
    length += size;
    grown[length] = '\0';
    *buffer = grown;
    return true;
}

int CSDataBlockParser::InitRawRecordedData(const char* text, char** out, bool forParse) {
    if (!text || !out)
        return -1;
    const std::string_view source(text);
    const std::string_view name(kData);
    size_t open = xml::FindOpenTag(source, name, 0);
    if (open == std::string_view::npos)
        return -1;
    size_t headEnd = xml::FindTagEnd(source, open + 1 + name.size());
    if (headEnd == std::string_view::npos)
        return -1;
    std::string result(source.substr(0, headEnd + 1));
    if (source[headEnd - 1] != '/') {
        size_t close = xml::FindCloseTag(source, name, headEnd + 1);
        if (close == std::string_view::npos)
            return -1;
        if (forParse) {
            // The sample text is read and left out.
            if (close > headEnd + 1 &&
                !ParseRecordedDataXML(text + headEnd + 1, close - headEnd - 1))
                return -1;
            result.append(source.substr(close));
        } else {
            result.append(source.substr(headEnd + 1));
        }
    } else {
        if (!forParse && !m_vLatency.empty()) {
            std::string samples;
            if (!PrintRecDataToXML(samples))
                return -1;
            result.resize(result.size() - 2);
            result += '>';
            result += samples;
            result += "</";
            result += kData;
            result += '>';
        }
        result.append(source.substr(headEnd + 1));
    }
    char* buffer = nullptr;
    long length = 0;
    if (!AddToBuffer(&buffer, length, result.data(), static_cast<long>(result.size()))) {
        std::free(buffer);
        return -1;
    }
    *out = buffer;
    return static_cast<int>(length);
}

bool CSDataBlockParser::bIsLossGraphExist(const char* text) {
    const char* latency = text ? std::strstr(text, "</LAT>") : nullptr;
    if (!latency)
        return false;
    const char* next = std::strstr(latency + 2, "</");
    return next && std::strncmp(next, "</LOS>", 6) == 0;
}

bool CSDataBlockParser::bAddLatSample(const char** cursor) {
    int value = 0;
    if (!xml::ReadIntAt(cursor, value))
        return false;
    m_vLatency.push_back(value);
    return true;
}

bool CSDataBlockParser::bAddLosSample(const char** cursor) {
    double value = 0;
    if (!xml::ReadDoubleAt(cursor, value))
        return false;
    // A loss that could not be written back is no sample.
    float loss = to_float(value);
    if (!readable_loss(loss))
        return false;
    m_vLoss.push_back(loss);
    return true;
}

bool CSDataBlockParser::ParseRecordedDataXML(const char* text, size_t length) {
    // A zero-terminated copy: every read below stops at the terminator.
    const std::string body(text, length);
    const char* s = body.c_str();
    const bool hasLoss = bIsLossGraphExist(s);
    bool expectLoss = false;
    bool readFailed = false;
    size_t pos = 0;
    for (;;) {
        while (pos < length && is_blank(s[pos]))
            ++pos;
        if (pos + 1 >= length)
            break;
        const bool loss = hasLoss && expectLoss;
        for (const char* p = loss ? "<LOS>%</LOS>" : "<LAT>%</LAT>"; *p;) {
            if (*p == '%') {
                const char* cursor = s + pos;
                if (!(loss ? bAddLosSample(&cursor) : bAddLatSample(&cursor)))
                    readFailed = true;
                pos = static_cast<size_t>(cursor - s);
                ++p;
            } else if (s[pos] == *p) {
                ++pos;
                ++p;
            } else if (s[pos] == ' ') {
                ++pos;
            } else {
                ClearBuffers();
                return false;
            }
        }
        if (hasLoss)
            expectLoss = !expectLoss;
    }
    if (readFailed || (hasLoss && m_vLatency.size() != m_vLoss.size())) {
        ClearBuffers();
        return false;
    }
    return true;
}

bool CSDataBlockParser::PrintRecDataToXML(std::string& out) {
    const bool withLoss = !m_vLoss.empty();
    if ((withLoss && m_vLoss.size() != m_vLatency.size()) || !samples_readable(m_vLatency, m_vLoss))
        return false;
    std::string samples;
    samples.reserve(m_vLatency.size() * (withLoss ? 32 : 16));
    for (size_t i = 0; i < m_vLatency.size(); ++i) {
        samples += "<LAT>";
        samples += xml::IntToText(m_vLatency[i]);
        samples += "</LAT>";
        if (withLoss) {
            samples += "<LOS>";
            samples += xml::DoubleToText(m_vLoss[i], 2);
            samples += "</LOS>";
        }
    }
    out += samples;
    return true;
}

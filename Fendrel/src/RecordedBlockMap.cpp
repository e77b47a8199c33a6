// Recorded-block map of the scenario document parser: sample bodies of
// LATENCY_AND_LOSS_DATA elements are kept as raw bytes under a label comment.
#include "Fendrel/STopovelDocumentParser.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

const char kLabelStart[] = "<!--LABLE";
const char kLabelEnd[] = "-->";
const std::string_view kElement = "LATENCY_AND_LOSS_DATA";
constexpr size_t kMaxLabelLength = 39;

// Hands the text out in a malloc buffer with a terminating zero.
long hand_out(const std::string& text, char** out) {
    char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
    if (!buffer)
        return -1;
    std::memcpy(buffer, text.data(), text.size() + 1);
    *out = buffer;
    return static_cast<long>(text.size());
}

// Stored bodies are put back byte for byte into a text whose encoding may differ from
// the one they were read in: only ASCII means the same in both.
bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

void CSTopovelDocParser::NewRecordedBlocks() {
    auto fresh = std::make_shared<RecordedBlocks>();
    if (m_pRecorded)
        fresh->counter = m_pRecorded->counter;
    m_pRecorded = std::move(fresh);
}

void CSTopovelDocParser::CountPastLabelsIn(std::string_view text) {
    const std::string_view start(kLabelStart);
    for (size_t at = text.find(start); at != std::string_view::npos; at = text.find(start, at)) {
        at += start.size();
        long number = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            int digit = text[at] - '0';
            number = number > (LONG_MAX - digit) / 10 ? LONG_MAX : number * 10 + digit;
        }
        if (number > m_pRecorded->counter)
            m_pRecorded->counter = number;
    }
}

bool CSTopovelDocParser::HoldsStoredLabel(std::string_view text) const {
    const std::string_view start(kLabelStart);
    for (size_t at = text.find(start); at != std::string_view::npos;
         at = text.find(start, at + start.size())) {
        size_t end = text.find(kLabelEnd, at);
        if (end == std::string_view::npos)
            return false;
        if (m_pRecorded->blocks.count(std::string(text.substr(at, end + 3 - at))))
            return true;
    }
    return false;
}

bool CSTopovelDocParser::AddToBlockMap(const char* data, long length, std::string& label) {
    if (!data || length <= 0 || m_pRecorded->counter == LONG_MAX)
        return false;
    try {
        std::string body(data, static_cast<size_t>(length));
        long number = ++m_pRecorded->counter;
        std::string name = kLabelStart + std::to_string(number) + kLabelEnd;
        m_pRecorded->blocks[name] = std::move(body);
        label = std::move(name);
        return true;
    } catch (...) {
        return false;
    }
}

bool CSTopovelDocParser::GetBlockFromMap(const char* label, char** data, long& length) {
    if (!label || !data)
        return false;
    auto found = m_pRecorded->blocks.find(label);
    if (found == m_pRecorded->blocks.end()) {
        *data = nullptr;
        length = 0;
        return true;
    }
    *data = found->second.data();
    length = static_cast<long>(found->second.size());
    return true;
}

void CSTopovelDocParser::ClearRecordedBlocksMap() {
    m_pRecorded->blocks.clear();
}

void CSTopovelDocParser::RemoveRecDataByNodeXMLLable(const char* xml) {
    if (!xml)
        return;
    const char* start = std::strstr(xml, kLabelStart);
    if (!start)
        return;
    const char* end = std::strstr(start, kLabelEnd);
    if (!end)
        return;
    size_t length = static_cast<size_t>(end + 3 - start);
    if (length > kMaxLabelLength)
        return;
    m_pRecorded->blocks.erase(std::string(start, length));
}

void CSTopovelDocParser::DropLabels(const std::vector<std::string>& labels) {
    for (const std::string& label : labels)
        m_pRecorded->blocks.erase(label);
}

void CSTopovelDocParser::DropLabelsIn(const std::string& xml) {
    size_t at = 0;
    while ((at = xml.find(kLabelStart, at)) != std::string::npos) {
        size_t end = xml.find(kLabelEnd, at);
        if (end == std::string::npos)
            return;
        m_pRecorded->blocks.erase(xml.substr(at, end + 3 - at));
        at = end + 3;
    }
}

long CSTopovelDocParser::CutRecordedBlocks(const char* xml, std::string& cut,
                                           std::vector<std::string>& labels) {
    if (!xml)
        return 0;
    std::string_view text(xml);
    // A comment of the text that reads like a label would be written out as the block
    // of that label: labels continue above it.
    CountPastLabelsIn(text);
    cut.clear();
    size_t piece = 0;
    size_t position = 0;
    bool any = false;
    try {
        for (;;) {
            size_t open = orvane::xml::FindOpenTag(text, kElement, position);
            if (open == std::string_view::npos)
                break;
            any = true;
            size_t openEnd = orvane::xml::FindTagEnd(text, open + 1 + kElement.size());
            if (openEnd == std::string_view::npos)
                throw std::runtime_error("opening tag without end");
            cut.append(text.substr(piece, openEnd + 1 - piece));
            piece = position = openEnd + 1;
            if (text[openEnd - 1] == '/')
                continue;
            size_t close = orvane::xml::FindCloseTag(text, kElement, position);
            if (close == std::string_view::npos)
                throw std::runtime_error("no closing tag");
            std::string_view body = text.substr(position, close - position);
            if (!body.empty() && !is_ascii(body)) {
                // The body stays in the text: the parser reads it in the document's
                // encoding and the writer writes it in the written text's.
                cut.append(body);
            } else if (!body.empty()) {
                std::string label;
                if (!AddToBlockMap(xml + position, static_cast<long>(close - position), label))
                    throw std::runtime_error("block not stored");
                labels.push_back(label);
                cut.append(label);
            }
            size_t closeEnd = text.find('>', close);
            if (closeEnd == std::string_view::npos)
                throw std::runtime_error("closing tag without end");
            cut.append(text.substr(close, closeEnd + 1 - close));
            piece = position = closeEnd + 1;
        }
    } catch (...) {
        // Only the blocks of this call are dropped; those of the document stay.
        DropLabels(labels);
        labels.clear();
        cut.clear();
        return -1;
    }
    if (!any)
        return 0;
    cut.append(text.substr(piece));
    return static_cast<long>(cut.size());
}

long CSTopovelDocParser::InitRecordedBlocksMap(const char* xml, char** cut) {
    std::string text;
    std::vector<std::string> labels;
    long length = CutRecordedBlocks(xml, text, labels);
    if (length <= 0 || !cut)
        return length;
    if (hand_out(text, cut) < 0) {
        DropLabels(labels);
        return -1;
    }
    return length;
}

long CSTopovelDocParser::RestoreRecordedBlocks(const char* xml, std::string& restored) {
    if (!xml)
        return -1;
    if (m_pRecorded->blocks.empty())
        return 0;
    std::string_view text(xml);
    restored.clear();
    size_t position = 0;
    bool any = false;
    for (;;) {
        size_t start = text.find(kLabelStart, position);
        if (start == std::string_view::npos)
            break;
        size_t end = text.find(kLabelEnd, start);
        if (end == std::string_view::npos)
            break;
        any = true;
        restored.append(text.substr(position, start - position));
        auto found = m_pRecorded->blocks.find(std::string(text.substr(start, end + 3 - start)));
        if (found != m_pRecorded->blocks.end())
            restored.append(found->second);
        position = end + 3;
    }
    if (!any)
        return 0;
    // The rest without its last character: the writer's closing line feed.
    std::string_view rest = text.substr(position);
    if (!rest.empty())
        rest.remove_suffix(1);
    restored.append(rest);
    return static_cast<long>(restored.size());
}

long CSTopovelDocParser::RestoreRecordedBlocksFromMap(const char* xml, char** restored) {
    try {
        std::string text;
        long length = RestoreRecordedBlocks(xml, text);
        if (length <= 0 || !restored)
            return length;
        return hand_out(text, restored);
    } catch (...) {
        return -1;
    }
}

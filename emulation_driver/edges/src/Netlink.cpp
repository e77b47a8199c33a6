#include "QuellinEdges/Netlink.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges::nl {

namespace {
constexpr size_t kReceiveBuffer = 1 << 16;
constexpr int kAnswerTimeoutMs = 5000;

size_t align(size_t n) {
    return (n + 3) & ~size_t{3};
}
} // namespace

uint32_t Attribute::u32() const {
    uint32_t v = 0;
    if (size >= 4)
        std::memcpy(&v, data, 4);
    return v;
}

std::string Attribute::text() const {
    return std::string(reinterpret_cast<const char*>(data),
                       strnlen(reinterpret_cast<const char*>(data), size));
}

std::vector<Attribute> attributes(const uint8_t* data, size_t length, size_t offset) {
    std::vector<Attribute> out;
    offset = align(offset);
    while (offset + sizeof(rtattr) <= length) {
        rtattr a;
        std::memcpy(&a, data + offset, sizeof a);
        if (a.rta_len < sizeof(rtattr) || a.rta_len > length - offset)
            break;
        out.push_back({static_cast<uint16_t>(a.rta_type & NLA_TYPE_MASK),
                       data + offset + sizeof(rtattr), a.rta_len - sizeof(rtattr)});
        offset += align(a.rta_len);
    }
    return out;
}

std::vector<Attribute> attributes(const Message& m, size_t headerSize) {
    if (m.body.size() < headerSize)
        return {};
    return attributes(m.body.data(), m.body.size(), headerSize);
}

std::optional<Attribute> find(const std::vector<Attribute>& list, uint16_t type) {
    for (const auto& a : list)
        if (a.type == type)
            return a;
    return std::nullopt;
}

std::vector<Message> split(const uint8_t* data, size_t length) {
    std::vector<Message> out;
    size_t off = 0;
    while (off + sizeof(nlmsghdr) <= length) {
        nlmsghdr h;
        std::memcpy(&h, data + off, sizeof h);
        if (h.nlmsg_len < sizeof(nlmsghdr) || h.nlmsg_len > length - off)
            break;
        Message m;
        m.type = h.nlmsg_type;
        m.flags = h.nlmsg_flags;
        m.body.assign(data + off + NLMSG_HDRLEN, data + off + h.nlmsg_len);
        out.push_back(std::move(m));
        off += NLMSG_ALIGN(h.nlmsg_len);
    }
    return out;
}

std::vector<uint8_t> join(const std::vector<Message>& messages) {
    std::vector<uint8_t> out;
    for (const auto& m : messages) {
        nlmsghdr h{};
        h.nlmsg_len = static_cast<uint32_t>(NLMSG_HDRLEN + m.body.size());
        h.nlmsg_type = m.type;
        h.nlmsg_flags = m.flags;
        const size_t at = out.size();
        out.resize(at + NLMSG_ALIGN(h.nlmsg_len), 0);
        std::memcpy(out.data() + at, &h, sizeof h);
        std::memcpy(out.data() + at + NLMSG_HDRLEN, m.body.data(), m.body.size());
    }
    return out;
}

Builder::Builder(uint16_t type, uint16_t flags, const void* header, size_t headerSize) {
    m_message.type = type;
    m_message.flags = flags;
    m_message.body.resize(align(headerSize), 0);
    std::memcpy(m_message.body.data(), header, headerSize);
}

Builder& Builder::put(uint16_t type, const void* data, size_t size) {
    rtattr a{};
    a.rta_type = type;
    a.rta_len = static_cast<unsigned short>(sizeof(rtattr) + size);
    auto& b = m_message.body;
    const size_t at = b.size();
    b.resize(at + align(a.rta_len), 0);
    std::memcpy(b.data() + at, &a, sizeof a);
    if (size)
        std::memcpy(b.data() + at + sizeof a, data, size);
    return *this;
}

Builder& Builder::put_string(uint16_t type, const std::string& text) {
    return put(type, text.c_str(), text.size() + 1);
}

size_t Builder::begin_nested(uint16_t type) {
    const size_t at = m_message.body.size();
    put(static_cast<uint16_t>(type | NLA_F_NESTED), nullptr, 0);
    return at;
}

void Builder::end_nested(size_t at) {
    rtattr a;
    std::memcpy(&a, m_message.body.data() + at, sizeof a);
    a.rta_len = static_cast<unsigned short>(m_message.body.size() - at);
    std::memcpy(m_message.body.data() + at, &a, sizeof a);
}

Socket::Socket() {
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "rtnetlink socket");
    int one = 1;
    // Errors come back without the request attached.
    ::setsockopt(m_fd, SOL_NETLINK, NETLINK_CAP_ACK, &one, sizeof one);
    int size = 1 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

Socket::~Socket() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int Socket::request(const Message& m) {
    return exchange(m, NLM_F_ACK, nullptr);
}

int Socket::dump(const Message& m, std::vector<Message>& out) {
    out.clear();
    return exchange(m, NLM_F_DUMP, &out);
}

int Socket::get(const Message& m, Message& answer) {
    std::vector<Message> out;
    const int rc = exchange(m, 0, &out);
    if (rc != 0)
        return rc;
    if (out.empty())
        return -ENOENT;
    answer = std::move(out.front());
    return 0;
}

int Socket::exchange(const Message& m, uint16_t extraFlags, std::vector<Message>* out) {
    Message request = m;
    request.flags = static_cast<uint16_t>(request.flags | NLM_F_REQUEST | extraFlags);
    std::vector<uint8_t> bytes = join({request});
    const uint32_t seq = ++m_seq;
    std::memcpy(bytes.data() + offsetof(nlmsghdr, nlmsg_seq), &seq, sizeof seq);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        if (::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) >= 0)
            break;
        if (errno != EINTR)
            return -errno;
    }
    const bool dumping = (extraFlags & NLM_F_DUMP) != 0;
    std::vector<uint8_t> buf(kReceiveBuffer);
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kAnswerTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -ETIMEDOUT;
        const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        size_t off = 0;
        while (off + sizeof(nlmsghdr) <= static_cast<size_t>(n)) {
            nlmsghdr h;
            std::memcpy(&h, buf.data() + off, sizeof h);
            if (h.nlmsg_len < sizeof(nlmsghdr) || h.nlmsg_len > static_cast<size_t>(n) - off)
                return -EPROTO;
            const uint8_t* body = buf.data() + off + NLMSG_HDRLEN;
            const size_t bodySize = h.nlmsg_len - NLMSG_HDRLEN;
            off += NLMSG_ALIGN(h.nlmsg_len);
            if (h.nlmsg_seq != seq)
                continue; // an answer to an earlier request that gave up waiting
            if (h.nlmsg_type == NLMSG_ERROR) {
                int error = 0;
                if (bodySize >= sizeof error)
                    std::memcpy(&error, body, sizeof error);
                return error; // 0: the acknowledgement
            }
            if (h.nlmsg_type == NLMSG_DONE)
                return 0;
            if (out) {
                Message answer;
                answer.type = h.nlmsg_type;
                answer.flags = h.nlmsg_flags;
                answer.body.assign(body, body + bodySize);
                out->push_back(std::move(answer));
                if (!dumping)
                    return 0;
            }
        }
    }
}

} // namespace quellin::edges::nl

#include "Frame.h"

#include <vexa/Error.h>

namespace vexa::net {

FrameReader::FrameReader(qsizetype maxFrameBytes) : m_max(maxFrameBytes) {}

void FrameReader::feed(QByteArrayView bytes)
{
    if (failed() || bytes.isEmpty())
        return;
    m_buffer.append(bytes.data(), bytes.size());
    parse();
}

void FrameReader::parse()
{
    while (m_buffer.size() - m_pos >= kFrameHeaderBytes) {
        const auto *p = reinterpret_cast<const uchar *>(m_buffer.constData() + m_pos);
        const quint32 length =
            (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
        if (length == 0) {
            m_failure = QStringLiteral("通信协议错误：收到长度为 0 的帧。");
            break;
        }
        if (qsizetype(length) > m_max) {
            m_failure = QStringLiteral("通信协议错误：帧长度 %1 字节超过上限 %2 字节。")
                            .arg(length)
                            .arg(m_max);
            break;
        }
        if (m_buffer.size() - m_pos - kFrameHeaderBytes < qsizetype(length))
            return; // the rest has not arrived yet
        m_frames.push_back(m_buffer.mid(m_pos + kFrameHeaderBytes, length));
        m_pos += kFrameHeaderBytes + length;
    }
    if (failed()) {
        m_buffer.clear();
        m_pos = 0;
        return;
    }
    // Drop consumed bytes once they are the larger part, so a long stream of small frames
    // costs linear time.
    if (m_pos > 0 && m_pos * 2 >= m_buffer.size()) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
}

QByteArray FrameReader::takeFrame()
{
    if (m_frames.empty())
        return {};
    QByteArray frame = std::move(m_frames.front());
    m_frames.pop_front();
    return frame;
}

QByteArray writeFrame(QByteArrayView payload, qsizetype maxFrameBytes)
{
    if (payload.isEmpty())
        throw Error(QStringLiteral("通信协议错误：不能发送空的帧。"));
    if (payload.size() > maxFrameBytes || payload.size() > qsizetype(0xFFFFFFFFu))
        throw Error(QStringLiteral("消息过大（%1 字节），超过每帧 %2 字节的上限。")
                        .arg(payload.size())
                        .arg(maxFrameBytes));
    const auto length = quint32(payload.size());
    QByteArray out;
    out.reserve(kFrameHeaderBytes + payload.size());
    out.append(char(length >> 24)).append(char(length >> 16)).append(char(length >> 8));
    out.append(char(length));
    out.append(payload.data(), payload.size());
    return out;
}

} // namespace vexa::net

#pragma once

#include <AttachmentNames.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <deque>

namespace vexa::net {

// The largest frame either side accepts by default. An attachment of kMaxAttachmentBytes
// travels Base64 inside a packet text (4 bytes for every 3), plus the packet and the
// message around it; 128 MiB leaves room for that and for large provider replies.
constexpr qsizetype kMaxFrameBytes = 128ll * 1024 * 1024;
static_assert((kMaxAttachmentBytes + 2) / 3 * 4 + 1024 * 1024 < kMaxFrameBytes);

// Bytes of the length prefix in front of every frame (big-endian, unsigned).
constexpr qsizetype kFrameHeaderBytes = 4;

// Cuts a byte stream into frames: 4-byte big-endian length, then that many payload bytes.
// Bytes may arrive in any chunking. A zero or too large length puts the reader in a failed
// state for good (the connection must be closed: the stream has lost its boundaries);
// frames completed before stay available. The announced length is never allocated up
// front: the buffer grows only with bytes that arrived.
class FrameReader
{
public:
    explicit FrameReader(qsizetype maxFrameBytes = kMaxFrameBytes);

    void feed(QByteArrayView bytes);

    bool hasFrame() const { return !m_frames.empty(); }
    // The oldest complete payload; empty when there is none.
    QByteArray takeFrame();

    bool failed() const { return !m_failure.isEmpty(); }
    // Why the reader failed, in Chinese; empty while it has not.
    const QString &failure() const { return m_failure; }

    // Bytes received towards a frame not yet complete.
    qsizetype pendingBytes() const { return m_buffer.size() - m_pos; }

private:
    void parse();

    qsizetype m_max;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    std::deque<QByteArray> m_frames;
    QString m_failure;
};

// The payload with its length prefix. Throws vexa::Error for an empty payload or one over
// maxFrameBytes: the other side would refuse it and close the connection.
QByteArray writeFrame(QByteArrayView payload, qsizetype maxFrameBytes = kMaxFrameBytes);

} // namespace vexa::net

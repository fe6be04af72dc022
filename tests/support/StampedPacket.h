#pragma once

#include <linux/if_packet.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace hoplark::test {

// Reads one packet from a packet socket that has SO_TIMESTAMPNS on, with where it came from and
// the kernel's stamp of it (CLOCK_REALTIME nanoseconds; -1 when it carried none). Returns what
// recvmsg returned.
ssize_t ReceiveStampedPacket(int socket, uint8_t* buffer, size_t size, int flags, sockaddr_ll& from,
                             int64_t& stampNs);

// Blocks SIGINT, SIGTERM and SIGHUP and returns a descriptor that becomes readable when one
// arrives: the test tools' mains stop on them cleanly, removing what they made.
int BlockStopSignals();

}  // namespace hoplark::test

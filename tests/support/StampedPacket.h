#pragma once

#include <linux/if_packet.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace hoplark::test {

// Reads one packet from a packet socket that has SO_TIMESTAMPNS on, with where it came from and
// the kernel's stamp of it (CLOCK_REALTIME nanoseconds; -1 when it carried none). Returns what
// recvmsg returned.
ssize_t ReceiveStampedPacket(int socket, uint8_t* buffer, size_t size, int flags, sockaddr_ll& from,
                             int64_t& stampNs);

// Waits until the kernel stamps packets as they arrive rather than as they are read. The first
// socket to ask for stamps turns arrival stamps on for the whole machine, but later, from a work
// queue that a busy machine can hold up for milliseconds; until then a packet is stamped only when
// a reader takes it, and its stamp tells nothing of the wire. Call it with a stamping socket of
// one's own open, which keeps them on. Sends one datagram at a time over the loopback of the
// calling thread's namespace. False when they were still off after `limit`.
bool WaitForArrivalStamps(std::chrono::milliseconds limit);

// Blocks SIGINT, SIGTERM and SIGHUP and returns a descriptor that becomes readable when one
// arrives: the test tools' mains stop on them cleanly, removing what they made.
int BlockStopSignals();

}  // namespace hoplark::test

// Writing everything through a non-blocking pipe whose reader is slower than
// the writer: the writer waits for room instead of failing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "program/write_fully.h"

namespace {

TEST(WriteFully, WaitsForRoomOnANonBlockingPipe) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(fcntl(ends[1], F_SETFL, fcntl(ends[1], F_GETFL) | O_NONBLOCK), 0);

  // 4 MiB, far more than the pipe holds, in two pieces of a varied pattern.
  std::string data(std::size_t{4} << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4099);
  std::string received;
  std::thread reader([&] {
    char buffer[16384];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
      received.append(buffer, static_cast<std::size_t>(got));
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // a slow reader
    }
  });
  iovec pieces[2] = {{data.data(), 1000003}, {data.data() + 1000003, data.size() - 1000003}};
  EXPECT_EQ(cascade::write_fully(ends[1], pieces, 2), 0);
  close(ends[1]);
  reader.join();
  close(ends[0]);
  EXPECT_TRUE(received == data) << "received " << received.size() << " of " << data.size() << " bytes";
}

}  // namespace

// The console as a piped or logged run sees it: every line reaches the pipe
// when it is complete, not when a buffer fills or the run ends; a batch
// console's pauses and prompts read nothing.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "platform/console.h"

namespace {

// A buffered stream onto a file descriptor, as standard output is when piped.
class FdBuf : public std::streambuf {
public:
    explicit FdBuf(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
    ~FdBuf() override { drain(); }

protected:
    int sync() override {
        drain();
        return 0;
    }
    int_type overflow(int_type c) override {
        drain();
        if (c != traits_type::eof()) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

private:
    void drain() {
        for (const char* p = pbase(); p < pptr();) {
            const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
            if (n <= 0) break;
            p += n;
        }
        setp(buf_, buf_ + sizeof buf_);
    }
    int fd_;
    char buf_[1 << 16];
};

std::string waiting(int fd) {
    char b[4096];
    const ssize_t n = ::read(fd, b, sizeof b);
    return n > 0 ? std::string(b, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

TEST(Console, LinesReachAPipeOneByOne) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
    {
        FdBuf buf(fds[1]);
        std::ostream out(&buf);
        std::istringstream in;
        nimbex::Console con(out, in);
        con.line("distributing hour #      62");
        EXPECT_EQ(waiting(fds[0]), "distributing hour #      62\n");
        con.blank();
        con.line("New weights hr=           96");
        EXPECT_EQ(waiting(fds[0]), "\nNew weights hr=           96\n");
    }
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(Console, BatchPausesAndPromptsReadNothing) {
    std::ostringstream out;
    std::istringstream in("typed\n");
    nimbex::Console batch(out, in, true);
    batch.pause("Hit enter to continue");
    EXPECT_EQ(batch.prompt(" hit enter to continue"), "");
    EXPECT_EQ(out.str(), "Hit enter to continue\n hit enter to continue");
    nimbex::Console con(out, in);  // the same input, not consumed by the batch console
    EXPECT_EQ(con.prompt("? "), "typed");
}

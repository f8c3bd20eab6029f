// The console as a piped or logged run sees it: every line reaches the pipe
// when it is complete; a batch console's pauses and prompts read nothing;
// input text echoed in messages never reaches the terminal or a file raw.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/console.h"
#include "platform/files.h"
#include "support/files.h"

using namespace nimbex;

namespace {

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
        // A buffered file stream onto the pipe, as standard output is when piped.
        std::ofstream out("/proc/self/fd/" + std::to_string(fds[1]));
        ASSERT_TRUE(out.is_open());
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

TEST(Console, ControlCharactersAreShownAsEscapes) {
    std::ostringstream out;
    std::istringstream in;
    Console con(out, in);
    con.line(std::string("in line: :hour 0\r\x00x\x1b\t\x7f|", 23));
    con.line("plain \\ text");
    EXPECT_EQ(out.str(), "in line: :hour 0\\r\\x00x\\x1b\\t\\x7f|\nplain \\ text\n");
}

TEST(Files, NoNulByteReachesAFile) {
    const std::filesystem::path p = nimbex::testutil::scratch_dir("nul") / "nul.txt";
    FileTable files;
    ASSERT_EQ(files.open(51, p.string(), OpenStatus::unknown), 0);
    files[51].put_line(std::string("flag \0 x", 8));
    files.close(51, true);
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    EXPECT_EQ(s.str(), "flag   x\n");
    std::filesystem::remove(p);
}

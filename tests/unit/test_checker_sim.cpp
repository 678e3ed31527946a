// The checker-server simulator, run as the shop's technician runs it: a
// separate program on a loopback address, asked by the checker's own
// exchange, its printed lines read back.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "lookup/price_file.h"
#include "tests/support/checker_exchange.h"
#include "tests/support/fakes.h"

namespace {

using namespace std::chrono_literals;

sockaddr_in loopback(const char* address, uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address, &where.sin_addr);
    return where;
}

// A client socket of the test's own, for datagrams no checker would send.
int boundUdpSocket(const char* address, uint16_t* port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = loopback(address, 0);
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(local.sin_port);
    return fd;
}

// The simulator as a child process whose standard output the test reads.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>(LUMIVO_CHECKER_SIM)};
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Simulator() {
        stop();
        if (out_ >= 0) close(out_);
    }

    // The next line of output, or "" after 5 s without one.
    std::string readLine() {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            pollfd watch{out_, POLLIN, 0};
            if (poll(&watch, 1, 5000) != 1) return "";
            char chunk[512];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }

    // The port from "checker_sim: listening on 127.0.0.3:PORT (UDP), ...".
    uint16_t readPort() {
        const std::string line = readLine();
        const size_t colon = line.find(':', line.find("listening on"));
        if (colon == std::string::npos) return 0;
        return static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }

    // Asks it to stop as Ctrl+C would; the exit status, -1 if it had to be killed.
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(20ms);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

PriceRecord priceRecord(const char* code, const char* nameMazovia, double units) {
    PriceRecord record{};
    std::snprintf(record.code, sizeof record.code, "%s", code);
    std::snprintf(record.name, sizeof record.name, "%s", nameMazovia);
    record.price = units;
    std::snprintf(record.unit, sizeof record.unit, "%s", "szt");
    return record;
}

class SimulatorTest : public testing::Test {
protected:
    void SetUp() override {
        resetFakeWindow();
        startExchangesAfresh();
        char pattern[] = "/tmp/checker-sim-XXXXXX";
        folder_ = mkdtemp(pattern);
        datPath_ = folder_ + "/PRCHK.DAT";
        // Sorted by code, as the back-office program writes them; names in Mazovia.
        const PriceRecord records[] = {
            priceRecord("0000000000125", "Cukierek", 1250),
            priceRecord("0012345678905", "Kawa ziarnista 1kg", 459900),
            priceRecord("01234567", "Herbata", 89900),
            priceRecord("5901234123457", "\xA1ubr\xA3wka bardzo d\x92uga nazwa", 129900),
        };
        FILE* file = std::fopen(datPath_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(records, sizeof records, 1, file);
        std::fclose(file);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string itemName() const { return checkState.itemName; }

    std::string folder_;
    std::string datPath_;
};

TEST_F(SimulatorTest, AnswersKnownAndUnknownCodesLikeAServer) {
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_});
    const uint16_t port = sim.readPort();
    ASSERT_NE(port, 0);

    Exchange known;
    ask(known, "127.0.0.3", port, "5901234123457");
    ASSERT_EQ(known.result, 0);
    EXPECT_EQ(known.text.size(), 47u);
    EXPECT_EQ(known.text.substr(0, 5),
              "\x02\x80"
              "100");
    EXPECT_EQ(known.text.substr(5, 20), "\xBDubr\xE0wka bardzo d\x88ug");  // CP852
    EXPECT_EQ(known.text.substr(25), "Cena:          12.99\r\x03");
    applyCheckerReply(known.buffer);
    EXPECT_EQ(itemName(), "\xA1ubr\xA3wka bardzo d\x92ug");
    EXPECT_DOUBLE_EQ(checkState.price, 129900);

    const std::string line = sim.readLine();
    EXPECT_NE(line.find(" 127.0.0.1:"), std::string::npos) << line;
    EXPECT_NE(line.find("seq=0x80 code=5901234123457 -> known"), std::string::npos) << line;

    // 12- and 7-character codes are found with a zero in front.
    Exchange upc;
    ask(upc, "127.0.0.3", port, "012345678905");
    ASSERT_EQ(upc.result, 0);
    EXPECT_EQ(upc.text.substr(5, 20), pad20("Kawa ziarnista 1kg"));
    EXPECT_EQ(upc.text.substr(25, 20), "Cena:          45.99");
    Exchange short7;
    ask(short7, "127.0.0.3", port, "1234567");
    EXPECT_EQ(short7.text.substr(25, 20), "Cena:" + std::string(11, ' ') + "8.99");
    Exchange short6;
    ask(short6, "127.0.0.3", port, "123456");
    EXPECT_EQ(short6.text.substr(25, 20), "Nieznany kod towaru ");
    EXPECT_NE(sim.readLine().find("seq=0x81 code=012345678905 -> known"), std::string::npos);
    EXPECT_NE(sim.readLine().find("seq=0x82 code=1234567 -> known"), std::string::npos);
    EXPECT_NE(sim.readLine().find("seq=0x83 code=123456 -> unknown"), std::string::npos);

    // An unknown code that holds "Cena" must not read as a known item.
    Exchange unknown;
    checkState.total = 0;
    ask(unknown, "127.0.0.3", port, "Cena999");
    ASSERT_EQ(unknown.result, 0);
    applyCheckerReply(unknown.buffer);
    EXPECT_EQ(itemName(), "Nieznany kod towaru ");
    EXPECT_EQ(checkState.total, 0);
    EXPECT_NE(sim.readLine().find("seq=0x84 code=Cena999 -> unknown"), std::string::npos);

    // Half a grosz rounds away from zero, as on the checker's own screen.
    Exchange half;
    ask(half, "127.0.0.3", port, "0000000000125");
    EXPECT_EQ(half.text.substr(25, 20), "Cena:" + std::string(11, ' ') + "0.13");
    EXPECT_NE(sim.readLine().find("price 0.13"), std::string::npos);

    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, MalformedDatagramsGetANoteAndNoAnswer) {
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_});
    const uint16_t port = sim.readPort();
    ASSERT_NE(port, 0);

    uint16_t clientPort = 0;
    const int client = boundUdpSocket("127.0.0.1", &clientPort);
    const sockaddr_in simulator = loopback("127.0.0.3", port);
    const std::string malformed[] = {
        "",
        std::string("\x02\x80", 2),
        "\x01\x80"
        "1123\r\x03",
        std::string("\x02\x00"
                    "1123\r\x03",
                    8),
        "\x02\x80"
        "2123\r\x03",
        "\x02\x80"
        "1123\x03\r",
        "\x02\x80"
        "112 3\r\x03",
        "\x02\x80"
        "112345678901234\r\x03",
        std::string(3000, '\x02'),
    };
    for (const std::string& datagram : malformed) {
        sendto(client, datagram.data(), datagram.size(), 0,
               reinterpret_cast<const sockaddr*>(&simulator), sizeof simulator);
        const std::string line = sim.readLine();
        EXPECT_NE(line.find("note: malformed datagram of " + std::to_string(datagram.size())),
                  std::string::npos)
            << line;
    }
    pollfd watch{client, POLLIN, 0};
    EXPECT_EQ(poll(&watch, 1, 200), 0);  // nothing was answered
    close(client);

    // Still serving.
    Exchange exchange;
    ask(exchange, "127.0.0.3", port, "1234567");
    EXPECT_EQ(exchange.result, 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, TestModesAnswerEmptyOrGarbageAndCountEnds) {
    {
        Simulator sim(
            {"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode", "empty"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, -1);
        EXPECT_NE(sim.readLine().find("-> empty datagram"), std::string::npos);
    }
    {
        Simulator sim({"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode",
                       "garbage", "--count", "1"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        ASSERT_EQ(exchange.result, 0);
        EXPECT_EQ(exchange.text.size(), 1023u);
        applyCheckerReply(exchange.buffer);  // whatever it holds, it is read safely
        EXPECT_NE(sim.readLine().find("-> garbage, 1500 bytes"), std::string::npos);
        EXPECT_EQ(sim.readLine(), "checker_sim: stopped");  // --count 1 ended it
        EXPECT_EQ(sim.stop(), 0);
    }
    {
        Simulator sim(
            {"--address", "127.0.0.3", "--port", "0", "--dat", datPath_, "--mode", "late=300"});
        const uint16_t port = sim.readPort();
        Exchange exchange;
        ask(exchange, "127.0.0.3", port, "1234567");
        EXPECT_EQ(exchange.result, 0);
        EXPECT_NE(sim.readLine().find("after 300 ms"), std::string::npos);
    }
}

TEST_F(SimulatorTest, DemoPriceListIsServedByDefault) {
    const std::string demo = std::string(LUMIVO_SOURCE_DIR) + "/tools/demo/demo_items.csv";
    if (!std::filesystem::exists(demo)) GTEST_SKIP() << "no demo price list yet";
    Simulator sim({"--address", "127.0.0.3", "--port", "0", "--csv", demo});
    const std::string first = sim.readLine();
    EXPECT_NE(first.find("items from"), std::string::npos) << first;
    EXPECT_EQ(first.find(" 0 items"), std::string::npos) << first;
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimulatorTest, RefusesWhatItCannotUse) {
    Simulator badMode({"--port", "0", "--dat", datPath_, "--mode", "loud"});
    EXPECT_EQ(badMode.readLine(), "");
    EXPECT_EQ(badMode.stop(), 2);
    Simulator noFile({"--port", "0", "--dat", folder_ + "/missing.dat"});
    EXPECT_EQ(noFile.readLine(), "");
    EXPECT_EQ(noFile.stop(), 2);
}

}  // namespace

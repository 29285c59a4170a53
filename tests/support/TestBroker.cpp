// Stands in for a plant's broker: the real mosquitto, as the test's own child process.
#include "tests/support/TestBroker.h"

#include <mosquitto.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char* BrokerBinary = "/usr/sbin/mosquitto";

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

std::once_flag gInit;

} // namespace

bool TTestBroker::Installed() {
    return ::access(BrokerBinary, X_OK) == 0;
}

TTestBroker::TTestBroker(bool refuseLogins, bool tls) : refuseLogins_(refuseLogins), tls_(tls) {
    std::string pattern = (std::filesystem::temp_directory_path() / "broker-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    port_ = FreePort();
    // A certificate for 127.0.0.1 that only this broker has.
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
    if (tls_ && (dir_.empty() || std::system(make.c_str()) != 0)) return;
    Start();
}

TTestBroker::~TTestBroker() {
    Kill();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool TTestBroker::Start() {
    if (pid_ > 0) return true;
    if (!Installed() || dir_.empty() || port_ == 0) return false;
    const std::string conf = dir_ + "/mosquitto.conf";
    {
        std::ofstream out(conf);
        out << "listener " << port_ << " 127.0.0.1\n"
            << "log_dest file " << dir_ << "/broker.log\n"
            << "log_type all\n"
            << "persistence false\n";
        out << "allow_anonymous " << (refuseLogins_ ? "false" : "true") << "\n";
        if (tls_) out << "certfile " << dir_ << "/cert.pem\nkeyfile " << dir_ << "/key.pem\n";
        // As root it would change to the user "mosquitto", who may not read this folder.
        if (::geteuid() == 0) out << "user root\n";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execl(BrokerBinary, BrokerBinary, "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0) return false;
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Accepts(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ++probes_; // the connection that found it ready is in its log too
    return true;
}

int TTestBroker::Connections() const {
    std::ifstream in(dir_ + "/broker.log");
    int count = 0;
    for (std::string line; std::getline(in, line);)
        // A TLS connection that ends before its handshake is logged in words of its own.
        if (line.find(": New connection from ") != std::string::npos ||
            line.find(": Client connection from ") != std::string::npos)
            ++count;
    return count - probes_;
}

bool TTestBroker::WaitForConnections(int count, std::chrono::milliseconds timeout) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; Connections() < count;) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void TTestBroker::Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

TSubscriber::TSubscriber(int port, const std::string& filter) {
    std::call_once(gInit, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(mosq_, &TSubscriber::OnMessage);
    mosquitto_subscribe_callback_set(mosq_, &TSubscriber::OnSubscribe);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS) return;
    mosquitto_subscribe(mosq_, nullptr, filter.c_str(), 1);
    mosquitto_loop_start(mosq_);
}

TSubscriber::~TSubscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void TSubscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<TSubscriber*>(self);
    {
        std::lock_guard lock(s->mutex_);
        s->messages_.push_back(
            {m->topic,
             std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
             m->retain});
    }
    s->arrived_.notify_all();
}

void TSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* s = static_cast<TSubscriber*>(self);
    {
        std::lock_guard lock(s->mutex_);
        s->subscribed_ = true;
    }
    s->arrived_.notify_all();
}

bool TSubscriber::Subscribed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [this] { return subscribed_; });
}

bool TSubscriber::WaitFor(const std::function<bool(const TMessage&)>& match,
                          std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] {
        for (const TMessage& m : messages_)
            if (match(m)) return true;
        return false;
    });
}

bool TSubscriber::WaitFor(const std::string& topic, const std::string& payload,
                          std::chrono::milliseconds timeout) {
    return WaitFor(
        [&](const TMessage& m) { return m.Topic == topic && (payload.empty() || m.Payload == payload); },
        timeout);
}

std::vector<TMessage> TSubscriber::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<TMessage> TSubscriber::On(const std::string& topic) const {
    std::vector<TMessage> out;
    for (TMessage& m : Messages())
        if (m.Topic == topic) out.push_back(std::move(m));
    return out;
}

void TSubscriber::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

} // namespace testsupport

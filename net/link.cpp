// The link's thread: one io_context runs the listening, the connection, its
// reads and writes and the timers. The game's calls are posted to it; what the
// game reads back (moves, state, the cause of the end) sits behind one mutex.
#include "net/link.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <asio.hpp>
#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace net {

using asio::ip::tcp;
using std::chrono::milliseconds;

struct Link::Impl {
    Options opt;
    bool hosting = false;
    std::array<char, kCodeLength> code{};
    std::string where; // the host we join, as the player gave it

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    tcp::acceptor acceptor{io};
    tcp::resolver resolver{io};
    tcp::socket socket{io};
    asio::steady_timer hello_timer{io}, beat_timer{io}, silence_timer{io}, linger_timer{io};
    std::thread thread;

    // The link thread's own state.
    unsigned generation = 0; // one per connection, so that late handlers of a closed one do nothing
    bool open = false;       // a connection is up
    bool greeted = false;    // hellos exchanged
    bool closing = false;    // final words queued; reads are drained until the end
    bool writing = false;
    std::deque<std::vector<uint8_t>> out;
    std::array<uint8_t, 64> in{};
    Decoder decoder;
    std::string peer; // the current caller's address, for the host's notices
    int tries = 0;
    uint32_t plies = 0, peer_hash_ply = 0;
    std::deque<std::pair<uint32_t, uint64_t>> ours, theirs; // hashes not yet compared

    // Shared with the game thread.
    std::atomic<State> state{State::Waiting};
    std::atomic<uint16_t> port{0};
    mutable std::mutex mutex;
    std::deque<Move> moves;
    Reason reason = Reason::None;
    std::string cause;

    ~Impl() {
        work.reset();
        if (thread.joinable()) thread.join();
    }

    void run() {
        thread = std::thread([this] {
            for (;;) {
                try {
                    io.run();
                    return;
                } catch (const std::exception& e) {
                    end(Reason::Disconnected, std::string("the connection failed: ") + e.what(), true);
                }
            }
        });
    }

    void notice(const std::string& line) {
        if (opt.notice)
            opt.notice(line);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    bool our_turn() const { return plies % 2 == (hosting ? 0u : 1u); }

    // --- Ending ------------------------------------------------------------

    // Ends the link once: records why, says so to the other side when `tell` (a
    // Refuse with the reason, or a Bye for a plain quit), and closes the connection.
    void end(Reason r, const std::string& why, bool tell) {
        if (state == State::Ended) return;
        record(r, why);
        if (!open) {
            asio::error_code ignored;
            socket.close(ignored);
            return;
        }
        Message m;
        m.type = r == Reason::None ? Type::Bye : Type::Refuse;
        m.reason = r;
        close_connection(tell ? encode(m) : std::vector<uint8_t>{});
    }

    void record(Reason r, const std::string& why) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            reason = r;
            cause = why;
        }
        state = State::Ended;
        if (opt.wake) opt.wake();
        asio::error_code ignored;
        acceptor.close(ignored);
        resolver.cancel();
        hello_timer.cancel();
    }

    // A fault in what the other side sent.
    void end_for(Reason r) {
        bool theirs = r == Reason::Malformed || r == Reason::Oversized || r == Reason::IllegalMove;
        end(r, std::string(describe(r)) + (theirs ? " from the other side" : ""), true);
    }

    // Queues the last frame (if any), then shuts the sending side and drains what
    // still comes until the other side closes, half a second at most: closing with
    // unread bytes would reset the connection and could lose the last frame.
    void close_connection(std::vector<uint8_t> last) {
        closing = true;
        beat_timer.cancel();
        silence_timer.cancel();
        if (!last.empty()) send(std::move(last));
        linger_timer.expires_after(milliseconds(500));
        linger_timer.async_wait([this, g = generation](const asio::error_code& ec) {
            if (!ec && g == generation) drop_connection();
        });
        if (!writing) shut();
    }

    void shut() {
        asio::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_send, ignored);
    }

    // The connection is gone: the host takes the next caller unless the link ended.
    void drop_connection() {
        asio::error_code ignored;
        socket.close(ignored);
        linger_timer.cancel();
        hello_timer.cancel();
        ++generation;
        open = greeted = closing = writing = false;
        out.clear();
        decoder = Decoder();
        if (hosting && state == State::Waiting) accept();
    }

    // --- Host --------------------------------------------------------------

    void listen(const std::string& address, uint16_t wanted) {
        asio::error_code ec;
        tcp::endpoint at;
        if (address.empty()) {
            // Both families on one socket where the machine has IPv6; IPv4 alone otherwise.
            at = tcp::endpoint(tcp::v6(), wanted);
            acceptor.open(at.protocol(), ec);
            if (!ec) acceptor.set_option(asio::ip::v6_only(false), ec);
            if (ec) {
                acceptor.close(ec);
                at = tcp::endpoint(tcp::v4(), wanted);
            }
        } else {
            asio::ip::address a = asio::ip::make_address(address, ec);
            if (ec) throw std::runtime_error("cannot listen on " + escape(address) + ": not an address");
            at = tcp::endpoint(a, wanted);
        }
        if (!acceptor.is_open()) acceptor.open(at.protocol(), ec);
        if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) acceptor.bind(at, ec);
        if (!ec) acceptor.listen(4, ec);
        if (ec) throw std::runtime_error("cannot listen on port " + std::to_string(wanted) + ": " + ec.message());
        port = acceptor.local_endpoint().port();
        accept();
    }

    void accept() {
        acceptor.async_accept(socket, [this](const asio::error_code& ec) {
            if (ec || state != State::Waiting) return;
            asio::error_code e;
            tcp::endpoint from = socket.remote_endpoint(e);
            peer = e ? "an unknown address" : from.address().to_string();
            connected();
            hello_timer.expires_after(milliseconds(opt.hello_ms));
            hello_timer.async_wait([this, g = generation](const asio::error_code& ec) {
                if (!ec && g == generation && !greeted) refuse(Reason::Silence);
            });
        });
    }

    // A caller who did not say the right hello: told why, and counted.
    void refuse(Reason r) {
        ++tries;
        notice("refused a player from " + peer + ": " + describe(r) + " (attempt " + std::to_string(tries) + " of " +
               std::to_string(opt.max_tries) + ")");
        Message m;
        m.type = Type::Refuse;
        m.reason = r;
        hello_timer.cancel();
        close_connection(encode(m));
        if (tries >= opt.max_tries) record(Reason::TooManyTries, describe(Reason::TooManyTries));
    }

    // --- Join --------------------------------------------------------------

    void connect(const std::string& host, uint16_t port_number) {
        where = escape(host) + ":" + std::to_string(port_number);
        hello_timer.expires_after(milliseconds(opt.hello_ms));
        hello_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || greeted || state == State::Ended) return;
            if (open)
                end(Reason::Silence, "no answer from " + where, false);
            else
                end(Reason::CannotConnect, "cannot connect to " + where + ": no answer", false);
        });
        resolver.async_resolve(
            host, std::to_string(port_number), [this](const asio::error_code& ec, tcp::resolver::results_type found) {
                if (state == State::Ended) return;
                if (ec) return end(Reason::CannotConnect, "cannot connect to " + where + ": " + ec.message(), false);
                asio::async_connect(socket, found, [this](const asio::error_code& ec, const tcp::endpoint&) {
                    if (state == State::Ended) return;
                    if (ec)
                        return end(Reason::CannotConnect, "cannot connect to " + where + ": " + ec.message(), false);
                    connected();
                    send(hello());
                });
            });
    }

    // --- The connection ----------------------------------------------------

    std::vector<uint8_t> hello() const {
        Message m;
        m.type = Type::Hello;
        m.code = code;
        return encode(m);
    }

    void connected() {
        open = true;
        asio::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored); // a move is one small frame: send it now
        read();
    }

    void greet() {
        greeted = true;
        hello_timer.cancel();
        asio::error_code ignored;
        acceptor.close(ignored);
        state = State::Playing;
        if (opt.wake) opt.wake();
        beat();
        heard();
    }

    void beat() {
        beat_timer.expires_after(milliseconds(opt.heartbeat_ms));
        beat_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || state != State::Playing) return;
            if (!writing) {
                Message m;
                m.type = Type::Heartbeat;
                send(encode(m));
            }
            beat();
        });
    }

    // Restarts the silence clock: called on every whole frame.
    void heard() {
        silence_timer.expires_after(milliseconds(opt.silence_ms));
        silence_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || state != State::Playing) return;
            char why[64];
            std::snprintf(why, sizeof why, "no word from the other side for %.1f s", opt.silence_ms / 1000.0);
            end(Reason::Silence, why, true);
        });
    }

    void send(std::vector<uint8_t> frame) {
        out.push_back(std::move(frame));
        if (!writing) write();
    }

    void write() {
        if (out.empty()) {
            writing = false;
            if (closing) shut();
            return;
        }
        writing = true;
        asio::async_write(socket, asio::buffer(out.front()),
                          [this, g = generation](const asio::error_code& ec, size_t) {
                              if (g != generation) return;
                              if (ec) {
                                  writing = false;
                                  out.clear();
                                  if (closing)
                                      drop_connection();
                                  else
                                      lost();
                                  return;
                              }
                              out.pop_front();
                              write();
                          });
    }

    void read() {
        socket.async_read_some(asio::buffer(in), [this, g = generation](const asio::error_code& ec, size_t n) {
            if (g != generation) return;
            if (ec) {
                if (closing)
                    drop_connection();
                else
                    lost();
                return;
            }
            if (!closing) take(n);
            if (g == generation) read();
        });
    }

    void lost() {
        if (state == State::Waiting && hosting) return drop_connection(); // a caller who hung up
        end(Reason::Disconnected, describe(Reason::Disconnected), false);
        drop_connection();
    }

    void take(size_t n) {
        size_t used = 0;
        while (used < n && !closing) {
            used += decoder.feed(in.data() + used, n - used);
            if (decoder.fault() != Reason::None) return fault(decoder.fault());
            if (decoder.ready()) message(decoder.message());
        }
    }

    void fault(Reason r) {
        if (r == Reason::IllegalMove && !greeted) r = Reason::Malformed;
        if (hosting && !greeted)
            refuse(r);
        else
            end_for(r);
    }

    void message(const Message& m) {
        if (!greeted) return hosting ? greet_caller(m) : greet_host(m);
        heard();
        switch (m.type) {
        case Type::Heartbeat: break;
        case Type::Bye: end(Reason::PeerQuit, describe(Reason::PeerQuit), false); break;
        case Type::Refuse:
            end(m.reason, std::string("the other side ended the link: ") + describe(m.reason), false);
            break;
        case Type::Move:
            if (our_turn()) return end(Reason::IllegalMove, "a move out of turn from the other side", true);
            if (peer_hash_ply != plies) return end_for(Reason::Malformed);
            ++plies;
            {
                std::lock_guard<std::mutex> lock(mutex);
                moves.push_back(m.move);
            }
            if (opt.wake) opt.wake();
            break;
        case Type::Hash:
            if (m.ply != peer_hash_ply + 1 || m.ply > plies) return end_for(Reason::Malformed);
            peer_hash_ply = m.ply;
            theirs.emplace_back(m.ply, m.hash);
            compare();
            break;
        case Type::Hello: end_for(Reason::Malformed); break;
        }
    }

    void greet_caller(const Message& m) {
        if (m.type != Type::Hello) return refuse(Reason::Malformed);
        if (!same_code(m.code, code)) return refuse(Reason::WrongCode);
        send(hello());
        greet();
    }

    void greet_host(const Message& m) {
        if (m.type == Type::Refuse) {
            std::string why = m.reason == Reason::WrongCode ? "the host refused the join code"
                                                            : std::string("the host refused: ") + describe(m.reason);
            return end(m.reason, why, false);
        }
        if (m.type != Type::Hello) return end_for(Reason::Malformed);
        if (!same_code(m.code, code)) return end(Reason::WrongCode, "the host answered with another join code", true);
        greet();
    }

    void compare() {
        while (!ours.empty() && !theirs.empty()) {
            if (ours.front().first != theirs.front().first) {
                // The older of the two can no longer be matched.
                (ours.front().first < theirs.front().first ? ours : theirs).pop_front();
                continue;
            }
            bool same = ours.front().second == theirs.front().second;
            uint32_t ply = ours.front().first;
            ours.pop_front();
            theirs.pop_front();
            if (!same) return end(Reason::HashDiffers, "the two boards differ after move " + std::to_string(ply), true);
        }
    }

    // --- Calls from the game thread, run here ------------------------------

    void our_move(const Move& m) {
        if (state != State::Playing || !our_turn()) return;
        ++plies;
        Message msg;
        msg.type = Type::Move;
        msg.move = m;
        send(encode(msg));
    }

    void our_hash(uint32_t ply, uint64_t hash) {
        if (state != State::Playing) return;
        Message msg;
        msg.type = Type::Hash;
        msg.ply = ply;
        msg.hash = hash;
        send(encode(msg));
        ours.emplace_back(ply, hash);
        compare();
    }
};

Link::Link(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Link> Link::host(const std::string& address, uint16_t port, const std::string& code, Options options) {
    auto impl = std::make_unique<Impl>();
    if (!normalise_code(code, &impl->code)) throw std::runtime_error("not a join code: " + escape(code));
    impl->opt = std::move(options);
    impl->hosting = true;
    impl->listen(address, port);
    impl->run();
    return std::unique_ptr<Link>(new Link(std::move(impl)));
}

std::unique_ptr<Link> Link::join(const std::string& host, uint16_t port, const std::string& code, Options options) {
    auto impl = std::make_unique<Impl>();
    if (!normalise_code(code, &impl->code)) throw std::runtime_error("not a join code: " + escape(code));
    impl->opt = std::move(options);
    Impl* i = impl.get();
    asio::post(i->io, [i, host, port] { i->connect(host, port); });
    impl->run();
    return std::unique_ptr<Link>(new Link(std::move(impl)));
}

Link::~Link() {
    Impl* i = impl_.get();
    asio::post(i->io, [i] {
        if (i->state != State::Ended) i->end(Reason::None, "quit", true);
        i->beat_timer.cancel();
        i->silence_timer.cancel();
    });
}

uint16_t Link::port() const { return impl_->port; }
Link::State Link::state() const { return impl_->state; }

bool Link::next_move(Move* out) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->moves.empty()) return false;
    *out = impl_->moves.front();
    impl_->moves.pop_front();
    return true;
}

bool Link::has_move() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return !impl_->moves.empty();
}

void Link::send_move(const Move& move) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, move] { i->our_move(move); });
}

void Link::played(uint32_t ply, uint64_t hash) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, ply, hash] { i->our_hash(ply, hash); });
}

void Link::quit() {
    Impl* i = impl_.get();
    asio::post(i->io, [i] { i->end(Reason::None, "quit", true); });
}

void Link::fail(Reason reason) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, reason] { i->end_for(reason); });
}

Reason Link::reason() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->reason;
}

std::string Link::cause() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->cause;
}

std::string join_line(const std::string& address, uint16_t port, const std::string& code) {
    std::string shown = address;
    if (shown.empty()) {
        // The first outward address, IPv4 before IPv6; the loopback when there is none.
        std::string v4, v6;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (ifaddrs* a = list; a; a = a->ifa_next) {
                if (!a->ifa_addr || !(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
                char text[INET6_ADDRSTRLEN] = "";
                if (a->ifa_addr->sa_family == AF_INET && v4.empty()) {
                    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
                    v4 = text;
                } else if (a->ifa_addr->sa_family == AF_INET6 && v6.empty()) {
                    const in6_addr& a6 = reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr;
                    if (IN6_IS_ADDR_LINKLOCAL(&a6)) continue;
                    inet_ntop(AF_INET6, &a6, text, sizeof text);
                    v6 = text;
                }
            }
            freeifaddrs(list);
        }
        shown = !v4.empty() ? v4 : !v6.empty() ? v6 : "127.0.0.1";
    }
    if (shown.find(':') != std::string::npos) shown = "[" + shown + "]";
    return "globoid --join " + shown + ":" + std::to_string(port) + " --code " + code;
}

} // namespace net

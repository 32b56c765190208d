// Globoid: two players push marbles on a hexagonal board until one has pushed six off.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "control/control.h"
#include "control/keeping.h"
#include "control/options.h"
#include "control/seating.h"
#include "net/link.h"
#include "platform/sound.h"
#include "seats/remote.h"
#include "seats/script.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
    const Options options = read_options(argc, argv);
    // The player's settings; a scripted or headless run keeps them only in a file
    // --settings names. The command line wins for this run; a level or an opening
    // it gives is the last one chosen.
    const bool scripted = options.headless || !options.script.empty();
    const settings::Values kept = settings::open(!options.settings.empty() ? options.settings
                                                 : scripted                ? ""
                                                                           : settings::default_path());
    if (options.level) settings::keep_level(options.level);
    if (options.opening >= 0) settings::keep_opening(board::Opening(options.opening));
    // A record to load or review is read whole before anything starts; a bad one
    // ends the program here, with its line.
    keeping::Setup keep;
    keep.opening =
        options.opening >= 0 ? board::Opening(options.opening) : kept.opening.value_or(board::Opening::Standard);
    keep.keep = !options.headless && options.script.empty();
    keep.record_path = options.record;
    const std::string& file = options.review.empty() ? options.load : options.review;
    if (!file.empty()) {
        records::Fault fault;
        if (!records::read_file(file, &keep.record, &fault)) {
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, records::describe(file, fault).c_str());
            return 2;
        }
        keep.review = !options.review.empty();
        keep.load = !keep.review;
        if (keep.load && keep.record.position().over()) {
            std::fprintf(stderr, "%s: %s: the game is over; --review shows it\n", program_invocation_short_name,
                         file.c_str());
            return 2;
        }
        keep.opening = keep.record.opening();
    }
    keeping::setup(std::move(keep));
    // A script is checked whole before the game starts, and needs no display.
    std::unique_ptr<seats::ScriptSeat> script;
    if (!options.script.empty()) script = std::make_unique<seats::ScriptSeat>(options.script);
    if (scripted) use_headless_device(script != nullptr);
    if (kept.sound) set_sound(*kept.sound);
    use_window(options.windowed >= 0 ? options.windowed == 1 : kept.windowed.value_or(false));
    on_window_switch(settings::keep_windowed);
    seating::Setup setup;
    setup.computer = options.computer;
    setup.level = options.level ? options.level : kept.level.value_or(3);
    setup.pause_ms = options.pause_ms >= 0 ? options.pause_ms : 400;
    // The pauses are for a person to watch: GLOBOID_SEAT_PAUSE_MS caps each, and a
    // replay leaves them out unless it or --pause says otherwise.
    if (const char* env = std::getenv("GLOBOID_SEAT_PAUSE_MS"))
        setup.longest_pause_ms = std::atoi(env);
    else if (script && options.pause_ms < 0)
        setup.longest_pause_ms = 0;
    // The player on another machine: the host has the light marbles and moves first.
    std::unique_ptr<seats::Remote> remote;
    if (options.host || !options.join_host.empty()) {
        remote = std::make_unique<seats::Remote>(setup.pause_ms, setup.longest_pause_ms);
        try {
            if (options.host) {
                const std::string code = options.code.empty() ? net::new_code() : options.code;
                net::Options link_options = remote->link_options();
                link_options.opening = uint8_t(keeping::opening());
                auto link = net::Link::host(options.listen_address, options.port, code, link_options);
                std::printf("Waiting for the other player. On their machine, run:\n%s\n",
                            net::join_line(options.listen_address, link->port(), code).c_str());
                std::fflush(stdout);
                remote->attach(std::move(link));
            } else {
                keeping::await_opening(); // the host's, told in its hello
                remote->attach(net::Link::join(options.join_host, options.port, options.code, remote->link_options()));
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, e.what());
            return 1;
        }
    }
    if (options.host)
        seating::start(setup, nullptr, std::move(remote));
    else
        seating::start(setup, std::move(remote), nullptr);
    MonApp = new AppType();
    if (script) script->start();
    MonApp->Run();
    const int status = seating::stop();
    if (MonApp) delete MonApp;
    return status;
}

// Pictures of the game as players see it, for looking at the art: compose <build
// directory> <output directory> loads the generated pictures through the game's
// loaders and drawing, and writes title.png, board.png, game.png and victory.png.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "assets/assets.h"
#include "draw/draw.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tools/canvas.h"
#include "unit/unit.h"

// The game's constructor also starts the mouse thread; a picture needs only the shape.
__attribute__((weak)) SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0),
      Forme(new uint32[256]()), Fond(new uint32[256]()), Visible(false) {}

namespace {

bool shoot(const std::string& path) {
    Picture p(640, 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            const unsigned char* px = reinterpret_cast<const unsigned char*>(_ECRAN) + (y * 640 + x) * 4;
            p.at(x, y) = rgb(px[2], px[1], px[0]);
        }
    bool ok = write_png(path, p);
    if (!ok) std::fprintf(stderr, "compose: cannot write %s\n", path.c_str());
    return ok;
}

// Puts code n in the cell and redraws it.
void put(int x, int y, char n) {
    Jeu[y][x] = n;
    EffCurseur(char(x), char(y));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: compose <build directory> <output directory>\n");
        return 2;
    }
    std::string out = argv[2];
    mkdir(out.c_str(), 0755);
    if (out[0] != '/') {
        char here[4096];
        if (getcwd(here, sizeof here)) out = std::string(here) + "/" + out;
    }
    if (chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 1;
    }

    _ECRAN = new char[640 * 480 * 4]();
    _FOND = new char[640 * 480 * 4]();
    _BOULE1 = new char[4096]();
    _BOULE2 = new char[4096]();
    _ANNEAU = new char[4096]();
    _NB = new char[24948]();
    SourisType* souris = new SourisType;
    _SOURIS = reinterpret_cast<char*>(souris->Forme);
    _SSOURIS = reinterpret_cast<char*>(souris->Fond);
    souris->Load("Sprites/souris.tga");
    LoadBoules();

    bool ok = true;
    LoadEcran("Sprites/presentation.tga", _ECRAN);
    ok &= shoot(out + "/title.png");

    // The opening position, player 1 choosing two marbles.
    LoadFond();
    Score[1] = 0;
    Score[2] = 0;
    SetJeu();
    Tour = 1;
    AffScore();
    AffBoule(8, 4, 5);
    AffBoule(10, 4, 5);
    _DRAWSOURIS(25 * 10 + 53 + 20, 38 * 4 - 59 + 22);
    ok &= shoot(out + "/board.png");

    // Later on: 2 to 4, and player 2 lines up three marbles against one.
    LoadFond();
    static const int ones[][2] = {{10, 2}, {5, 3}, {7, 3}, {11, 3}, {8, 4}, {12, 4}, {9, 5}, {11, 5}, {14, 6}, {13, 7}};
    static const int twos[][2] = {{8, 6}, {10, 6}, {12, 6}, {7, 7}, {9, 7}, {11, 7}, {6, 8}, {10, 8}, {5, 9}, {9, 9}, {13, 9}, {10, 10}};
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++)
            if (Jeu[y][x] == 1 || Jeu[y][x] == 2) put(x, y, 0);
    for (auto& c : ones) put(c[0], c[1], 1);
    for (auto& c : twos) put(c[0], c[1], 2);
    Score[1] = 2;
    Score[2] = 4;
    AffScore();
    AffBoule(8, 6, 6);
    AffBoule(10, 6, 6);
    AffBoule(12, 6, 6);
    _DRAWSOURIS(25 * 12 + 53 + 24, 38 * 6 - 59 + 20);
    ok &= shoot(out + "/game.png");

    LoadEcran("Sprites/victoire.tga", _ECRAN);
    ok &= shoot(out + "/victory.png");
    return ok ? 0 : 1;
}

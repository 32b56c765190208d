// The cursor object and the victory screen as seen by the rules, recorded.
#include "tests/doubles.h"

#include "assets/assets.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "unit/unit.h"

SourisType* Souris;

SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0),
      Forme(nullptr), Fond(nullptr), Visible(false) {}

void SourisType::Show() {
    if (Visible) doubles::record.misuse = true;
    Visible = true;
    doubles::record.shows++;
}

void SourisType::Hide() {
    if (!Visible) doubles::record.misuse = true;
    Visible = false;
    doubles::record.hides++;
}

void Gagne() {
    doubles::Record& r = doubles::record;
    r.wins++;
    r.frame.assign(_ECRAN, _ECRAN + 640 * 480 * 4);
    for (int i = 0; i < 3; i++) r.score[i] = Score[i];
    r.tour = Tour;
    r.hidden = !Souris->Visible;
    throw doubles::Won();
}

namespace doubles {

Record record;

void reset() {
    if (!Souris) Souris = new SourisType;
    Souris->Visible = true;
    record = Record();
}

} // namespace doubles

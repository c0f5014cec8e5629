#include "physics/SimulationSettings.h"

// Work in progress: the step arrives with the contact tests.
SimulationSettings::SimulationSettings() {}
void SimulationSettings::step(Ball&, const std::vector<CollisionBox>&, double) {}

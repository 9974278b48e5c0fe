// The machines the simulated drive can stand for (torvane-sim --plant NAME):
//   small    a small, stiff servo: a light load on a stiff coupling, resonance near 280 Hz
//   inertia  a large-inertia load (ten times the motor's) on a stiff shaft, near 120 Hz
//   belt     a compliant belt drive, three times the motor's inertia, near 85 Hz, more friction
// Their figures are in plant_presets.cpp; plant_model.h says what they mean.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "sim/plant_model.h"

namespace torvane::sim {

std::span<const PlantParameters> PlantPresets();
// The plant a drive has unless told otherwise: "small".
const PlantParameters& DefaultPlant();
// nullptr for a name that is not a preset.
const PlantParameters* FindPlant(std::string_view name);
// "small|inertia|belt", the names in their order.
std::string PlantNames();

}  // namespace torvane::sim

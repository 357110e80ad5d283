// Properties of water the virtual bench needs to turn a volume and two
// temperatures into heat, and a reference volume into the scale mass an
// operator types: density (kg/m³) and specific enthalpy (kJ/kg) at 1..150 °C,
// interpolated linearly between whole degrees. The bench keeps its own copy
// of both tables so that it does not share arithmetic with the program it
// checks.
#pragma once

namespace qv::sim {

// Density in kg/m³; below 1 °C the 1 °C entry, above 150 °C the 150 °C entry
// (the bench never runs water outside the tables).
double Density(double celsius);
// Specific enthalpy in kJ/kg; clamped the same way.
double Enthalpy(double celsius);

// Heat in kWh carried by `litres` of water entering at `inlet` and leaving at
// `outlet` °C, the volume measured where the meter sits (density at the inlet
// temperature when `meter_at_inlet`, else at the outlet temperature).
double HeatKwh(double litres, double inlet, double outlet, bool meter_at_inlet);

// Scale mass in kg of `litres` of water at `celsius`.
double MassKg(double litres, double celsius);

}  // namespace qv::sim

"""Passive waveguide cells."""

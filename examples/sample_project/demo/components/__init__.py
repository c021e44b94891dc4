"""Composite components and pad frames."""

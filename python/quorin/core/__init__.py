"""Core services of quorin: the PDK service, call graph, factory database and imports."""

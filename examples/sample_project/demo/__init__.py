"""Sample layout project: waveguides, rings, an MMI and a pad frame on the generic PDK."""

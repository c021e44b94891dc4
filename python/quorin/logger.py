"""The product logger.

Handlers and levels are left to the application, as for any library logger.
"""

import logging

LOGGER_NAME = "quorin"


def get_logger() -> logging.Logger:
    return logging.getLogger(LOGGER_NAME)

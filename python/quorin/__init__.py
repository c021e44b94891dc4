"""The quorin layout design product.

Sub-packages are imported on demand; importing this package does nothing else.
"""

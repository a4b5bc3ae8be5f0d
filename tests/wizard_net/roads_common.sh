# Shared by the road networks: the test package's model, and another.
model=1.3.6.1.4.1.99999.1
other=1.3.6.1.4.1.99999.2
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }

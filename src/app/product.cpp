// Product identity.

namespace orvix {}

namespace orvix::os {}
